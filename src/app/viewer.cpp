#include "app/viewer.h"

#include "app/infocommand.h"

#include <QTextStream>

int runViewer(int, char**, const QString& file)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    err << "The viewer window is not available yet; showing the summary instead." << Qt::endl;
    return file.isEmpty() ? 2 : printInfo(file, out, err);
}
