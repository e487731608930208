#pragma once

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

// An X server of its own (Xvfb) on a display it picks, ended with this object.
class XServer
{
public:
    XServer(int width, int height)
    {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const QByteArray screen =
            QByteArray::number(width) + 'x' + QByteArray::number(height) + "x24";
        const char* argv[] = {"Xvfb", "-displayfd",  "1",         "-noreset", "-screen",
                              "0",    screen.data(), "-nolisten", "tcp",      nullptr};
        // -displayfd 1: the server picks a free display and writes its number once it accepts
        // clients. -noreset: it does not reset each time its last client leaves.
        if (posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) != 0)
            m_pid = 0;
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        char said[16] = {};
        const ssize_t got = m_pid ? read(pipeEnds[0], said, sizeof said - 1) : 0;
        close(pipeEnds[0]);
        bool number = false;
        QByteArray(said, int(std::max<ssize_t>(got, 0))).trimmed().toInt(&number);
        if (number)
            m_display = ':' + QString::fromLatin1(QByteArray(said).trimmed());
    }
    ~XServer()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    QString display() const { return m_display; }

private:
    pid_t m_pid = 0;
    QString m_display;
};
