#pragma once
// Turns the signals that ask a program to end (SIGTERM from a logout or a
// shutdown, SIGINT from Ctrl+C in a terminal, SIGHUP when the terminal
// goes away) into a Qt signal delivered on the event loop, so the program
// quits through its ordinary path instead of dying in a signal handler.
#include <QObject>

#include <initializer_list>

class QSocketNotifier;

namespace lumenta {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    // Catches the given signals from now on. One instance at a time.
    explicit QuitSignals(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    // Gives the signals back their default action.
    ~QuitSignals() override;

Q_SIGNALS:
    void received(int signalNumber);

private:
    void drain();

    QList<int> m_signals;
    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace lumenta
