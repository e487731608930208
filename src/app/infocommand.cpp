#include "app/infocommand.h"

#include "rawfile/imfile.h"
#include "rawfile/imheader.h"

#include <QTextStream>

int printInfo(const QString& path, QTextStream& out, QTextStream& err)
{
    ImFile file;
    const ImFile::Status status = file.open(path);
    if (status == ImFile::Status::Unusable) {
        err << file.errorString() << Qt::endl;
        return 2;
    }
    if (status == ImFile::Status::Refused) {
        out << "File: (not an image file)" << Qt::endl;
        return 2;
    }
    const ImHeader& h = file.header();
    for (const QString& m : file.messages())
        err << m << Qt::endl;
    out << "File: " << h.FileName << '\n';
    out << "Frame: " << pixelSizeText(h) << '\n';
    out << "Field: " << micronSizeText(h) << '\n';
    for (const SummaryRow& row : detailRows(h))
        out << row.caption << ' ' << row.text << '\n';
    out.flush();
    return 0;
}
