#pragma once

// Runs the built executable as a script would: the one way the command-line tests start it.

#include <QProcess>
#include <QStringList>

namespace isolumen {

struct Run
{
    int status = -1; // -1 when it did not end normally
    QString out;
    QString err;
};

// Runs isolumen in folder with args; env holds "NAME=value" to set and "NAME" to remove.
// Standard output goes to outFile when one is named.
inline Run runIsolumen(const QString& folder, const QStringList& args, const QStringList& env = {},
                       const QString& outFile = {})
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString& v : env) {
        if (v.contains('='))
            e.insert(v.section('=', 0, 0), v.section('=', 1));
        else
            e.remove(v);
    }
    QProcess p;
    p.setProcessEnvironment(e);
    p.setWorkingDirectory(folder);
    if (!outFile.isEmpty())
        p.setStandardOutputFile(outFile);
    p.start(ISOLUMEN_EXECUTABLE, args);
    Run r;
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit)
        r.status = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace isolumen
