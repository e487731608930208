// Pictures and figures written to files or copied, as the user chooses.
#include "core/io/picturewriter.h"
#include "core/io/pngwriter.h"
#include "core/progress.h"
#include "ui/dialogs.h"
#include "ui/messagebox.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QRegularExpression>

namespace isolumen {

namespace Dialogs {

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
    if (const Result<> written = writePicture(picture, pictureFileName(path, chosenFilter));
        !written)
        showMessage(
            QStringLiteral("The picture could not be saved: %1").arg(written.error().message));
}

namespace {

// The figure options last chosen, for the next figure and for "Copy Figure".
FigureOptions& lastFigureOptions()
{
    static FigureOptions options{true, true, FigureOutlines::Numbers, QString(), 1};
    return options;
}

} // namespace

void exportFigure(QWidget* parent, const FigureContent& content)
{
    const std::optional<FigureOptions> options =
        figureOptions(parent, lastFigureOptions(), !content.regions.isEmpty());
    if (!options)
        return;
    lastFigureOptions() = *options;
    const QString filters = QStringLiteral("PNG image (*.png);;TIFF image (*.tif *.tiff);;"
                                           "SVG drawing (*.svg);;PDF document (*.pdf)");
    const auto [path, chosenFilter] =
        saveFile(parent, QStringLiteral("Save Figure"), QStringLiteral("figure.png"), filters);
    if (path.isEmpty())
        return;
    // A name of its own for an SVG or PDF stays; else as a picture's.
    const QString name = isFigureFileName(path) ? path : pictureFileName(path, chosenFilter);
    // A large figure at a large scale takes a while to draw and compress.
    Result<> written;
    const bool finished =
        runLongWork(parent, QStringLiteral("Saving the figure..."), [&](Progress& progress) {
            written = writeFigure(content, *options, name, &progress);
            return true;
        });
    if (finished && !written)
        showMessage(
            QStringLiteral("The figure could not be saved: %1").arg(written.error().message));
}

void copyFigure(QWidget* parent, const FigureContent& content)
{
    QImage figure;
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    const bool finished =
        runLongWork(parent, QStringLiteral("Copying the figure..."), [&](Progress&) {
            figure = figureImage(content, lastFigureOptions());
            return figure.isNull() || writePng(figure, png).has_value();
        });
    if (!finished)
        return;
    if (figure.isNull()) {
        showMessage(QStringLiteral("Not enough memory for the figure."));
        return;
    }
    auto* data = new QMimeData;
    data->setImageData(figure);
    data->setData(QStringLiteral("image/png"), png.data());
    QGuiApplication::clipboard()->setMimeData(data);
}

} // namespace Dialogs

} // namespace isolumen
