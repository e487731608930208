#include "app/dialogs.h"

#include "app/msgbox.h"
#include "core/io/picturewriter.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

namespace Dialogs {

namespace {

QString defaultOpenFile(QWidget* parent, const QString& title, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

std::optional<QRgb> defaultSelectColor(QWidget* parent, QRgb initial, const QString& prompt)
{
    const QColor c = QColorDialog::getColor(QColor(initial), parent, prompt);
    if (!c.isValid())
        return std::nullopt;
    return c.rgb() & 0xFFFFFF;
}

void defaultExportPicture(QWidget* parent, const QImage& picture)
{
    const QString filters =
        QStringLiteral("PNG image (*.png);;TIFF image (*.tif *.tiff);;JPEG image (*.jpg *.jpeg);;"
                       "BMP image (*.bmp)");
    QString chosenFilter;
    const QString path =
        QFileDialog::getSaveFileName(parent, QStringLiteral("Save Image As"),
                                     QStringLiteral("image.png"), filters, &chosenFilter);
    if (path.isEmpty())
        return;
    QString error;
    if (!writePicture(picture, pictureFileName(path, chosenFilter), &error))
        MsgBox(QStringLiteral("The picture could not be saved: %1").arg(error));
}

OpenFileSeam& openSeam()
{
    static OpenFileSeam s = defaultOpenFile;
    return s;
}
SelectColorSeam& colorSeam()
{
    static SelectColorSeam s = defaultSelectColor;
    return s;
}
ExportPictureSeam& exportSeam()
{
    static ExportPictureSeam s = defaultExportPicture;
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

SelectColorSeam setSelectColor(SelectColorSeam seam)
{
    return replace(colorSeam(), std::move(seam), SelectColorSeam(defaultSelectColor));
}

ExportPictureSeam setExportPicture(ExportPictureSeam seam)
{
    return replace(exportSeam(), std::move(seam), ExportPictureSeam(defaultExportPicture));
}

QString openFile(QWidget* parent, const QString& title, const QString& filter)
{
    return openSeam()(parent, title, filter);
}

std::optional<QRgb> selectColor(QWidget* parent, QRgb initial, const QString& prompt)
{
    return colorSeam()(parent, initial, prompt);
}

void exportPicture(QWidget* parent, const QImage& picture)
{
    exportSeam()(parent, picture);
}

QString pictureFileName(const QString& chosen, const QString& chosenFilter)
{
    if (chosen.isEmpty() || pictureFormatFor(chosen))
        return chosen;
    static const QRegularExpression firstSuffix(QStringLiteral("\\*\\.(\\w+)"));
    const QRegularExpressionMatch m = firstSuffix.match(chosenFilter);
    return m.hasMatch() ? chosen + QLatin1Char('.') + m.captured(1) : chosen;
}

void installMessageBox()
{
    setMessageHandler([](const QString& text) {
        QMessageBox::information(QApplication::activeWindow(), QStringLiteral("Isolumen"), text);
    });
}

} // namespace Dialogs
