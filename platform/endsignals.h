#pragma once
// The signals by which the system or the user asks the program to end: SIGTERM (logout, system
// shutdown, kill), SIGHUP (the terminal went away) and SIGINT (Ctrl+C). While an EndSignals
// object lives, such a signal no longer ends the process on the spot; it is handed to the event
// loop as endRequested, so that the program can end through its normal close and end order.
// The signal handler itself only writes the signal's number into a pipe; everything else runs
// in the event loop.
#include <QObject>

class QSocketNotifier;

class EndSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers. Only one object may live at a time; needs the application object.
    explicit EndSignals(QObject* parent = nullptr);
    // Puts the previous handlers back.
    ~EndSignals() override;
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

    // Whether an end signal has arrived since the object was made.
    bool requested() const { return m_requested; }

signals:
    // An end signal arrived (its number). Emitted from the event loop, once per signal, also
    // inside a nested event loop that a receiver runs for an earlier one.
    void endRequested(int signal);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
    bool m_requested = false;
};
