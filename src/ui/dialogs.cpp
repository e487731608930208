#include "ui/dialogs.h"

#include "core/io/picturewriter.h"
#include "core/progress.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFormLayout>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QSpinBox>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

namespace Dialogs {

namespace {

QString defaultOpenFile(QWidget* parent, const QString& title, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

std::pair<QString, QString> defaultSaveFile(QWidget* parent, const QString& title,
                                            const QString& suggestedName, const QString& filters)
{
    QString chosenFilter;
    const QString path =
        QFileDialog::getSaveFileName(parent, title, suggestedName, filters, &chosenFilter);
    return {path, chosenFilter};
}

std::optional<QRgb> defaultSelectColor(QWidget* parent, QRgb initial, const QString& prompt)
{
    const QColor c = QColorDialog::getColor(QColor(initial), parent, prompt);
    if (!c.isValid())
        return std::nullopt;
    return c.rgb() & 0xFFFFFF;
}

std::optional<std::pair<int, int>> defaultLayerRange(QWidget* parent, int first, int last,
                                                     int layerCount)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Sum of Layers"));
    auto* form = new QFormLayout(&dialog);
    auto* from = new QSpinBox(&dialog);
    auto* to = new QSpinBox(&dialog);
    for (QSpinBox* box : {from, to})
        box->setRange(1, std::max(1, layerCount));
    from->setValue(first);
    to->setValue(last);
    form->addRow(QStringLiteral("From layer:"), from);
    form->addRow(QStringLiteral("To layer:"), to);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return std::pair{std::min(from->value(), to->value()), std::max(from->value(), to->value())};
}

// The progress dialog of long work: it appears once the work has taken half a second, so quick
// work never flashes one, and its Cancel cancels the work.
void defaultProgress(QWidget* parent, const QString& label, Progress& progress, qint64 elapsedMs)
{
    static QPointer<QProgressDialog> dialog;
    if (elapsedMs < 0) { // the work is over
        delete dialog;
        return;
    }
    if (elapsedMs < 500)
        return;
    if (!dialog) {
        dialog = new QProgressDialog(label, QStringLiteral("Cancel"), 0, 1000, parent);
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->setMinimumDuration(0);
        dialog->setAutoClose(false);
        dialog->setAutoReset(false);
        QObject::connect(dialog, &QProgressDialog::canceled, [&progress] { progress.cancel(); });
        dialog->show();
    }
    dialog->setValue(int(progress.fraction() * 1000));
}

OpenFileSeam& openSeam()
{
    static OpenFileSeam s = defaultOpenFile;
    return s;
}
SaveFileSeam& saveSeam()
{
    static SaveFileSeam s = defaultSaveFile;
    return s;
}
SelectColorSeam& colorSeam()
{
    static SelectColorSeam s = defaultSelectColor;
    return s;
}
LayerRangeSeam& layerRangeSeam()
{
    static LayerRangeSeam s = defaultLayerRange;
    return s;
}
ProgressSeam& progressSeam()
{
    static ProgressSeam s = defaultProgress;
    return s;
}

template <typename Seam> Seam replace(Seam& slot, Seam seam, Seam fallback)
{
    Seam previous = std::move(slot);
    slot = seam ? std::move(seam) : std::move(fallback);
    return previous;
}

} // namespace

OpenFileSeam setOpenFile(OpenFileSeam seam)
{
    return replace(openSeam(), std::move(seam), OpenFileSeam(defaultOpenFile));
}

SaveFileSeam setSaveFile(SaveFileSeam seam)
{
    return replace(saveSeam(), std::move(seam), SaveFileSeam(defaultSaveFile));
}

SelectColorSeam setSelectColor(SelectColorSeam seam)
{
    return replace(colorSeam(), std::move(seam), SelectColorSeam(defaultSelectColor));
}

LayerRangeSeam setLayerRange(LayerRangeSeam seam)
{
    return replace(layerRangeSeam(), std::move(seam), LayerRangeSeam(defaultLayerRange));
}

ProgressSeam setProgress(ProgressSeam seam)
{
    return replace(progressSeam(), std::move(seam), ProgressSeam(defaultProgress));
}

QString openFile(QWidget* parent, const QString& title, const QString& filter)
{
    return openSeam()(parent, title, filter);
}

std::pair<QString, QString> saveFile(QWidget* parent, const QString& title,
                                     const QString& suggestedName, const QString& filters)
{
    return saveSeam()(parent, title, suggestedName, filters);
}

std::optional<QRgb> selectColor(QWidget* parent, QRgb initial, const QString& prompt)
{
    return colorSeam()(parent, initial, prompt);
}

std::optional<std::pair<int, int>> layerRange(QWidget* parent, int first, int last, int layerCount)
{
    return layerRangeSeam()(parent, first, last, layerCount);
}

bool runLongWork(QWidget* parent, const QString& label, const std::function<bool(Progress&)>& work)
{
    Progress progress;
    std::atomic<bool> finished{false};
    bool result = false;
    QEventLoop loop;
    std::thread worker([&] {
        result = work(progress);
        finished = true;
        QMetaObject::invokeMethod(
            &loop, [] {}, Qt::QueuedConnection); // wakes the loop below
    });
    QElapsedTimer clock;
    clock.start();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!finished)
            progressSeam()(parent, label, progress, clock.elapsed());
    });
    watch.start(40);
    // Input waits until the work is done, unless a modal progress dialog is up: it then takes
    // its own input and keeps it from the other windows.
    while (!finished) {
        const bool dialogUp = QApplication::activeModalWidget() != nullptr;
        loop.processEvents((dialogUp ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents) |
                           QEventLoop::WaitForMoreEvents);
    }
    worker.join();
    watch.stop();
    progressSeam()(parent, {}, progress, -1); // lets the watcher close what it showed
    return result && !progress.cancelled();
}

QString pictureFileName(const QString& chosen, const QString& chosenFilter)
{
    if (chosen.isEmpty() || pictureFormatFor(chosen))
        return chosen;
    static const QRegularExpression firstSuffix(QStringLiteral("\\*\\.(\\w+)"));
    const QRegularExpressionMatch m = firstSuffix.match(chosenFilter);
    return m.hasMatch() ? chosen + QLatin1Char('.') + m.captured(1) : chosen;
}

void exportPicture(QWidget* parent, const QImage& picture)
{
    const QString filters =
        QStringLiteral("PNG image (*.png);;TIFF image (*.tif *.tiff);;JPEG image (*.jpg *.jpeg);;"
                       "BMP image (*.bmp)");
    const auto [path, chosenFilter] =
        saveFile(parent, QStringLiteral("Save Image As"), QStringLiteral("image.png"), filters);
    if (path.isEmpty())
        return;
    QString error;
    if (!writePicture(picture, pictureFileName(path, chosenFilter), &error))
        showMessage(QStringLiteral("The picture could not be saved: %1").arg(error));
}

void installMessageBox()
{
    setMessageHandler([](const QString& text) {
        QMessageBox::information(QApplication::activeWindow(), QStringLiteral("Isolumen"), text);
    });
}

} // namespace Dialogs
