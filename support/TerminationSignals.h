#pragma once
// SIGTERM and SIGINT turned into a call on the thread that made this object,
// through its event loop: the signal handler only writes the signal's number
// into a socket pair (write() is safe in a handler); a QSocketNotifier on the
// other end reads it and calls `onSignal`. A desktop session that ends, or
// Ctrl+C in a terminal, then closes the program the way a normal close does.
//
// One instance per process (the handler has one pipe to write to); a second
// one throws. `onSignal` must not throw (it runs from the event loop). Destroying it puts the previous handlers back. Thread: the
// thread that created it, which must run an event loop.
#include <QObject>

#include <functional>

class QSocketNotifier;

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;

private:
    void readSignal();

    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};
