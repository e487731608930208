#include "app/shutdownsignals.h"

#include "core/temporaryfiles.h"
#include "ui/dialogs.h"
#include "ui/menu.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace isolumen {

namespace {

constexpr int kShutdownSignals[] = {SIGTERM, SIGINT, SIGHUP};
// How often a quit waiting for long work or a dialog looks again.
constexpr int kRetryMs = 10;

// The pipe's writing end while a SignalQuitter lives, else -1.
std::atomic<int> quitterFd{-1};

void onShutdownSignal(int signal)
{
    const int savedErrno = errno;
    removeTemporaryFilesNow();
    const int fd = quitterFd.load();
    const char byte = char(signal);
    if (fd >= 0 && ::write(fd, &byte, 1) == 1) {
        errno = savedErrno;
        return;
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

} // namespace

void installShutdownSignals()
{
    struct sigaction action = {};
    action.sa_handler = onShutdownSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kShutdownSignals)
        ::sigaction(signal, &action, nullptr);
}

SignalQuitter::SignalQuitter(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0)
        return; // then a signal ends the process at once, the copies deleted all the same
    m_notifier = new QSocketNotifier(m_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalQuitter::readSignal);
    quitterFd.store(m_fds[0]);
}

SignalQuitter::~SignalQuitter()
{
    quitterFd.store(-1);
    for (const int fd : m_fds) {
        if (fd >= 0)
            ::close(fd);
    }
}

void SignalQuitter::readSignal()
{
    char byte = 0;
    if (::read(m_fds[1], &byte, 1) != 1)
        return;
    if (m_signal == 0)
        m_signal = byte;
    quitWhenIdle();
}

void SignalQuitter::quitWhenIdle()
{
    // Long work and modal dialogs wait inside the event loop: windows closed under them would
    // be used again when they return. They are cancelled first, and the quit waits for them.
    if (Dialogs::isLongWorkRunning() || QThread::currentThread()->loopLevel() > 1) {
        Dialogs::cancelLongWork();
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
        QTimer::singleShot(kRetryMs, this, &SignalQuitter::quitWhenIdle);
        return;
    }
    // Windows close as "Quit" closes them, their handlers run and the acquisitions let go.
    Menu::quitApplication();
}

} // namespace isolumen
