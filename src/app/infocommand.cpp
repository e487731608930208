#include "app/infocommand.h"

#include "app/modesession.h"
#include "core/imfile/summary.h"
#include "core/model/acquisition.h"
#include "core/result.h"

#include <QTextStream>

namespace isolumen {

int printInfo(const QString& path, QTextStream& out, QTextStream& err)
{
    Acquisition acquisition;
    const Result<ImFile::Status> opened = openFile(acquisition, path);
    if (!opened) {
        err << opened.error().message << Qt::endl;
        return 2;
    }
    if (*opened == ImFile::Status::Refused) {
        err << notAnImage(path).message << Qt::endl;
        return 2;
    }
    const ImHeader& h = acquisition.header();
    for (const QString& m : acquisition.messages())
        err << m << Qt::endl;
    out << "File: " << h.fileName << '\n';
    out << "Frame: " << pixelSizeText(h) << '\n';
    out << "Field: " << micronSizeText(h) << '\n';
    for (const SummaryRow& row : detailRows(*acquisition.file()) + deadTimeRows(h))
        out << row.caption << ' ' << row.text << '\n';
    out.flush();
    return 0;
}

} // namespace isolumen
