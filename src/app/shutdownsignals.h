#pragma once

#include <QObject>

class QSocketNotifier;

namespace isolumen {

// Makes SIGTERM, SIGINT and SIGHUP end the program without leaving expanded copies behind. The
// handler deletes the copies at once; then, while a SignalQuitter lives, it hands the signal to
// the event loop, else (command-line modes, whose work runs without an event loop) the signal
// takes its default course and ends the process.
void installShutdownSignals();

// Ends the event loop the Qt way when a shutdown signal arrives: the handler writes to a pipe
// that a socket notifier watches, so that windows close and everything is let go in order.
// Owns the pipe; one at a time.
class SignalQuitter : public QObject
{
    Q_OBJECT

public:
    explicit SignalQuitter(QObject* parent = nullptr);
    ~SignalQuitter() override;

    // The signal that ended the event loop, 0 for none.
    int receivedSignal() const { return m_signal; }

private:
    void readSignal();
    // Quits as "Quit" does, once no long work or modal dialog waits in the event loop.
    void quitWhenIdle();

    int m_fds[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    int m_signal = 0;
};

} // namespace isolumen
