#pragma once

#include "ClientCall.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>

// A ts2-client-sim process on its own socket, ended by the destructor. The test process talks
// to the same socket (TS2_CLIENT_SIM_SOCKET is set for both).
class SimProcess {
public:
    explicit SimProcess(const QString& socketPath, const QStringList& arguments = {},
                        bool waitUntilServing = true) {
        setenv("TS2_CLIENT_SIM_SOCKET", socketPath.toLocal8Bit().constData(), 1);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TS2_CLIENT_SIM_SOCKET", socketPath);
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(QStringLiteral(TS2_CLIENT_SIM), arguments);
        EXPECT_TRUE(process_.waitForStarted(5000));
        if (waitUntilServing) {
            EXPECT_TRUE(serving(5000)) << "the simulated client did not come up";
        }
    }

    ~SimProcess() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    QProcess& process() { return process_; }

    // Writes to the client's standard input now (QProcess would wait for the event loop).
    void write(const QByteArray& text) {
        process_.write(text);
        process_.waitForBytesWritten(1000);
    }

    // Whether the client answers within timeoutMs.
    bool serving(int timeoutMs) {
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < timeoutMs) {
            if (tsremote::callClient(tsremote::OpVersion, 1).result == 0) {
                return true;
            }
            QThread::msleep(5);
        }
        return false;
    }

    // Types commands and waits until the client has run them (not for a stall, which would
    // hold up the marker too): a marker failure of
    // tsrGetServerInfo shows that it got that far, and is then taken back.
    void type(const QByteArray& commands) {
        const QByteArray marker = "typed" + QByteArray::number(++typed_);
        write(commands + "\nfail tsrGetServerInfo 4242 " + marker + "\n");
        ASSERT_TRUE(waitForServerInfo([&](const tsremote::CallResult& r) {
            return r.result == 4242 && r.error == marker.toStdString();
        })) << "the client did not run: "
            << commands.toStdString();
        write("fail tsrGetServerInfo 0\n");
        ASSERT_TRUE(
            waitForServerInfo([](const tsremote::CallResult& r) { return r.result != 4242; }));
    }

    // Asks the client to end as a desktop logout does, and waits for it.
    bool terminate(int timeoutMs = 5000) {
        ::kill(pid_t(process_.processId()), SIGTERM);
        return process_.waitForFinished(timeoutMs);
    }

private:
    template <typename Done> bool waitForServerInfo(Done done) {
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 5000) {
            if (done(tsremote::callClient(tsremote::OpServerInfo, 1))) {
                return true;
            }
            QThread::msleep(1);
        }
        return false;
    }

    QProcess process_;
    int typed_ = 0;
};
