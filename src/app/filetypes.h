#pragma once

#include <QString>
#include <QStringList>

// A kind of file the viewer knows by name and extension. The open dialog's filter and the main
// window's drop acceptance are both built from the raw image type, so the two routes agree.
struct FileType
{
    QString Name;
    QStringList Extensions; // with the leading dot, e.g. ".im"
    QString MacType;
    QString MacCreator;

    // Whether the path ends in one of the extensions, in any letter case.
    bool matches(const QString& path) const;
    // A filter for the open dialog: "image/NanoSIMS (*.im)".
    QString dialogFilter() const;
};

namespace FileTypes {

// Raw ion images: the one type the viewer opens.
const FileType& pImageNanoSIMS();
// Known for completeness; nothing opens it.
const FileType& pImageTiff();

} // namespace FileTypes
