#pragma once

#include <QImage>
#include <QRgb>
#include <QString>
#include <functional>
#include <optional>

class QWidget;

// Modal dialogs go through these seams. The defaults show the real Qt dialogs; tests install
// recorders so that no test ever waits on a dialog. Each setter returns the seam it replaces;
// an empty function restores the default.
namespace Dialogs {

// Open dialog: the chosen file's path, or empty when the user cancels.
using OpenFileSeam =
    std::function<QString(QWidget* parent, const QString& title, const QString& filter)>;
// Colour picker: the picked colour, or nothing when the user cancels.
using SelectColorSeam =
    std::function<std::optional<QRgb>(QWidget* parent, QRgb initial, const QString& prompt)>;
// Picture export: asks for a file and a format, then writes the picture.
using ExportPictureSeam = std::function<void(QWidget* parent, const QImage& picture)>;

OpenFileSeam setOpenFile(OpenFileSeam seam);
SelectColorSeam setSelectColor(SelectColorSeam seam);
ExportPictureSeam setExportPicture(ExportPictureSeam seam);

QString openFile(QWidget* parent, const QString& title, const QString& filter);
std::optional<QRgb> selectColor(QWidget* parent, QRgb initial, const QString& prompt);
void exportPicture(QWidget* parent, const QImage& picture);

// Installs the modal message box as the handler of MsgBox (app/msgbox.h).
void installMessageBox();

// The name a picture chosen in the save dialog is written under (by writePicture of
// core/io/picturewriter.h): the chosen name when its suffix names a picture format, else the
// name with the first suffix of the chosen filter ("pic" with "TIFF image (*.tif *.tiff)" gives
// "pic.tif").
QString pictureFileName(const QString& chosen, const QString& chosenFilter);

} // namespace Dialogs
