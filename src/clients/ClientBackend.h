#pragma once

#include "teamspeak/RemoteLibrary.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <cstdint>

// One voice client that the program can follow, offering the six operations of the
// remote-control library. A back-end does nothing until start(): start-up contacts no client.
class ClientBackend : public QObject {
    Q_OBJECT

public:
    // How the client is named in the error log ("TeamSpeak 3 ClientQuery").
    virtual QString name() const = 0;
    // Where it is looked for ("127.0.0.1:25639").
    virtual QString endpoint() const = 0;
    // Begins following the client, without waiting for it.
    virtual void start() = 0;
    // The six operations. Their calls never wait for the client, except the TeamSpeak 2
    // library's, which are the library's own.
    virtual RemoteLibrary& library() = 0;
    // Changes whenever the server connection that the back-end follows changes (a tab of
    // the client), so that the program looks at the server afresh.
    virtual uint64_t tab() const { return 0; }

protected:
    // Back-ends ask their clients when the speakers are read: each tick for the client in use,
    // each look of the chooser for the others, never while another client is connected.
    // Whether ms have passed since what since timed (true if it never ran).
    static bool passed(const QElapsedTimer& since, int ms) {
        return !since.isValid() || since.elapsed() >= ms;
    }
    // The chooser looks at the pace of the retries: a look a moment early still counts.
    static constexpr int kEarlyLookMs = 100;

signals:
    // A note for the error log's trace ("TeamSpeak 3 ClientQuery refused the API key").
    void traced(const QString& text);
};
