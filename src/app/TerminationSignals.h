#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a signal on the user-interface thread, so that a
// desktop logout, a Ctrl+C or a closed terminal closes the main window as its close box does.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    // Starts catching the signals before the event loop can take them, so that one that
    // arrives during start-up still ends the program in order once it runs.
    static void catchEarly();
    // Gives the signals their default action again (they end the process at once); true when
    // one has already arrived.
    static bool stopCatching();
    ~TerminationSignals() override;

signals:
    void received();

private:
    QSocketNotifier* notifier_;
};
