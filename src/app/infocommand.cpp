#include "app/infocommand.h"

#include "core/imfile/summary.h"
#include "core/model/acquisition.h"

#include <QTextStream>

int printInfo(const QString& path, QTextStream& out, QTextStream& err)
{
    Acquisition acquisition;
    const ImFile::Status status = acquisition.open(path);
    if (status == ImFile::Status::Unusable) {
        err << acquisition.errorString() << Qt::endl;
        return 2;
    }
    if (status == ImFile::Status::Refused) {
        out << "File: (not an image file)" << Qt::endl;
        return 2;
    }
    const ImHeader& h = acquisition.header();
    for (const QString& m : acquisition.messages())
        err << m << Qt::endl;
    out << "File: " << h.fileName << '\n';
    out << "Frame: " << pixelSizeText(h) << '\n';
    out << "Field: " << micronSizeText(h) << '\n';
    for (const SummaryRow& row : detailRows(h, acquisition.layerCount()) + deadTimeRows(h))
        out << row.caption << ' ' << row.text << '\n';
    out.flush();
    return 0;
}
