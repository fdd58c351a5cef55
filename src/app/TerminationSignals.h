#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a signal on the user-interface thread, so that a desktop
// logout or a Ctrl+C closes the main window as its close box does.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    // Starts catching the signals before the event loop can take them, so that one that
    // arrives during start-up still ends the program in order once it runs.
    static void catchEarly();
    ~TerminationSignals() override;

signals:
    void received();

private:
    QSocketNotifier* notifier_;
};
