// The program beside real Mumble clients on a real Mumble server (scripts/mumble-rig): found on
// the local client's D-Bus session, the radio effect for other users only, and the client and
// the server coming and going.

#include "e2e/ClientRun.h"
#include "e2e/WaveRecording.h"
#include "support/Eventually.h"
#include "support/LogEntries.h"
#include "support/ProgramRun.h"

#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>
#include <gtest/gtest.h>
#include <iostream>
#include <vector>

namespace {

using clientrun::logOf;
using clientrun::logShows;

// The local user, another user, and one the config excludes (written there in capitals).
const QString kLocal = QStringLiteral("\u0414\u0438\u0441\u043f\u0435\u0442\u0447\u0435\u0440");
const QString kOther = QStringLiteral("DLH123");
const QString kExcluded = QStringLiteral("J\u00f6rg");

// Mumble needs a few seconds to start and reconnects to a returning server only about ten
// seconds after losing it; these waits leave room for a loaded machine.
constexpr int kRigStartMs = 180000;
constexpr int kCommandMs = 120000;
constexpr int kStatusMs = 60000;

// scripts/mumble-rig as a child: its standard input stays open while the test runs, and
// closing it ends the server, the clients and everything else the rig started; so does the
// test process ending in any way.
class MumbleRig {
public:
    MumbleRig(const QString& dir, const QStringList& names) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(STATICOR_MUMBLE_RIG), QStringList{dir} + names);
        EXPECT_TRUE(process_.waitForStarted(10000)) << "scripts/mumble-rig did not start";
        ready_ = waitFor(QRegularExpression(QStringLiteral("^ready ([0-9.]+)$"),
                                            QRegularExpression::MultilineOption),
                         0, kRigStartMs);
        const QString text = QString::fromUtf8(said_);
        const auto server = QRegularExpression(QStringLiteral("^server (\\d+)$"),
                                               QRegularExpression::MultilineOption)
                                .match(text);
        port_ = server.hasMatch() ? quint16(server.captured(1).toUInt()) : 0;
        auto clients = QRegularExpression(QStringLiteral("^client (\\S+) (\\S+)$"),
                                          QRegularExpression::MultilineOption)
                           .globalMatch(text);
        while (clients.hasNext()) {
            const auto client = clients.next();
            buses_.insert(client.captured(1), client.captured(2));
        }
    }

    ~MumbleRig() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(60000)) {
            process_.terminate();
            if (!process_.waitForFinished(30000)) {
                process_.kill();
                process_.waitForFinished(5000);
            }
        }
    }

    bool ready() const { return ready_; }
    quint16 port() const { return port_; }
    QString bus(const QString& name) const { return buses_.value(name); }
    QString said() const { return QString::fromUtf8(said_); }

    // Sends one command and waits for its answer; true when it was done.
    bool command(const QString& line) {
        const qsizetype from = said_.size();
        ProgramRun::type(process_, line.toUtf8() + '\n');
        const QString quoted = QRegularExpression::escape(line);
        const QRegularExpression answer(QStringLiteral("^(ok|error) ") + quoted + QLatin1Char('$'),
                                        QRegularExpression::MultilineOption);
        if (!waitFor(answer, from, kCommandMs)) {
            ADD_FAILURE() << "no answer to \"" << line.toStdString() << "\"";
            return false;
        }
        const bool done =
            QString::fromUtf8(said_.mid(from))
                .contains(QRegularExpression(QStringLiteral("^ok ") + quoted + QLatin1Char('$'),
                                             QRegularExpression::MultilineOption));
        EXPECT_TRUE(done) << QString::fromUtf8(said_.mid(from)).toStdString();
        return done;
    }

private:
    bool waitFor(const QRegularExpression& line, qsizetype from, int timeoutMs) {
        return eventually(
                   [&] {
                       process_.waitForReadyRead(50);
                       said_ += process_.readAllStandardOutput();
                       return line.match(QString::fromUtf8(said_.mid(from))).hasMatch() ||
                              process_.state() == QProcess::NotRunning;
                   },
                   timeoutMs) &&
               line.match(QString::fromUtf8(said_.mid(from))).hasMatch();
    }

    QProcess process_;
    QByteArray said_;
    bool ready_ = false;
    quint16 port_ = 0;
    QHash<QString, QString> buses_;
};

constexpr qint64 kBytesPerSecond = 44100 * 2 * qint64(sizeof(float)); // as recordSound asks
constexpr double kWindow = 0.005;

// The levels of the recording's 5 ms windows from a byte position on, for up to seconds.
std::vector<double> levelsAfter(const QString& wave, qint64 fromBytes, double seconds) {
    const WaveRecording recording = WaveRecording::read(wave);
    std::vector<double> out;
    if (recording.rate <= 0) {
        return out;
    }
    const qint64 frameBytes = qint64(recording.channels) * qint64(sizeof(float));
    const qint64 header = clientrun::recorded(wave) - qint64(recording.frames()) * frameBytes;
    const auto window = size_t(recording.rate * kWindow);
    const size_t from = size_t(std::max<qint64>(0, fromBytes - header) / frameBytes);
    const size_t to = std::min(recording.frames(), from + size_t(recording.rate * seconds));
    for (size_t f = from; f + window <= to; f += window) {
        out.push_back(recording.rms(f, window));
    }
    return out;
}

} // namespace

TEST(MumbleE2E, ItPlaysForOtherUsersOnlyAndFollowsTheClientAndTheServer) {
    ProgramRun run;
    MumbleRig rig(run.file(QStringLiteral("rig")), {kLocal, kOther, kExcluded});
    ASSERT_TRUE(rig.ready()) << rig.said().toStdString();
    ASSERT_FALSE(rig.bus(kLocal).isEmpty()) << rig.said().toStdString();

    run.writeFile(
        QStringLiteral("config.cfg"),
        "SOUNDDEVICE = 0\r\nCLICKVOLUME = 100\r\nNOISEVOLUME = 70\r\n"
        "EXCLUDED = XYZ,J\xc3\x96RG\r\nCLICKSOUND = click.wav\r\nNOISESOUND = noise.wav\r\n"
        "TXSOUND = tx.wav\r\nPLAYTXSOUND = 0\r\nBUGTRACKING = 1\r\nSENSITIVITY = 100\r\n");
    const QString wave = run.recordSound();
    run.env().insert(QStringLiteral("STATICOR_CLIENT"), QStringLiteral("mumble"));
    run.env().insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), rig.bus(kLocal));
    QProcess& program = run.start();
    ASSERT_TRUE(logShows(run, QStringLiteral("STAT Connected"), 1, kStatusMs))
        << logOf(run).join('\n').toStdString();

    // The local user, the excluded one, then the other, each unmuting and muting again.
    const QHash<QByteArray, QString> byId{{"1", kLocal}, {"2", kOther}, {"3", kExcluded}};
    const clientrun::Transmissions heard =
        clientrun::playTransmissions(run, wave, [&](const QByteArray& commands) {
            const QList<QByteArray> words = commands.split(' ');
            ASSERT_EQ(words.size(), 2);
            const QString state = words[0] == "talk" ? QStringLiteral("on") : QStringLiteral("off");
            rig.command(QStringLiteral("talk %1 %2").arg(byId.value(words[1]), state));
        });
    // The click after the other's transmission, and quiet after it: the recording has gone
    // on long enough once it holds a second and a half past the end.
    ASSERT_TRUE(eventually(
        [&] { return clientrun::recorded(wave) >= heard.loudTo + kBytesPerSecond * 3 / 2; },
        10000));

    // The local client quits and comes back, and hears the other talk again. Then the server
    // goes while the other talks, and comes back: the client connects again by itself, and
    // the other, still unmuted, is heard again.
    auto seen = [&](const QString& entry) { return int(logOf(run).count(entry)); };
    const QString otherTalks = QStringLiteral("TX: ") + kOther;
    const QString connected = QStringLiteral("STAT Connected");
    const QString running = QStringLiteral("STAT Running");
    const QString notRunning = QStringLiteral("STAT Not Running");
    // Counted before each command: the program may see its effect before the rig answers.
    const int connections = seen(connected);
    const int gone = seen(notRunning);
    ASSERT_TRUE(rig.command(QStringLiteral("quit ") + kLocal));
    ASSERT_TRUE(logShows(run, notRunning, gone + 1, kStatusMs))
        << logOf(run).join('\n').toStdString();
    ASSERT_TRUE(rig.command(QStringLiteral("start ") + kLocal));
    ASSERT_TRUE(logShows(run, connected, connections + 1, kStatusMs))
        << logOf(run).join('\n').toStdString();
    const int talked = seen(otherTalks);
    ASSERT_TRUE(rig.command(QStringLiteral("talk %1 on").arg(kOther)));
    ASSERT_TRUE(logShows(run, otherTalks, talked + 1, kStatusMs));
    const int runs = seen(running);
    ASSERT_TRUE(rig.command(QStringLiteral("server stop")));
    ASSERT_TRUE(logShows(run, running, runs + 1, kStatusMs)) << logOf(run).join('\n').toStdString();
    ASSERT_TRUE(rig.command(QStringLiteral("server start")));
    ASSERT_TRUE(logShows(run, connected, connections + 2, kStatusMs))
        << logOf(run).join('\n').toStdString();
    const qsizetype back = logOf(run).lastIndexOf(connected);
    ASSERT_TRUE(eventually([&] { return logOf(run).indexOf(otherTalks, back) > back; }, kStatusMs))
        << "the other, still talking, is not heard after the server's return";
    ASSERT_TRUE(rig.command(QStringLiteral("talk %1 off").arg(kOther)));
    ASSERT_TRUE(run.terminate(program));

    const QStringList log = logOf(run);
    const QString found = QStringLiteral("CLIENT Mumble D-Bus");
    ASSERT_TRUE(log.contains(found)) << log.join('\n').toStdString();
    const qsizetype first = log.indexOf(connected);
    ASSERT_GT(first, log.indexOf(found));
    const QString server = QStringLiteral("SVRCON 127.0.0.1:%1").arg(rig.port());
    EXPECT_EQ(log.value(first + 2), server) << log.join('\n').toStdString();
    // Mumble tells no version; the same server after the client's return and the server's.
    EXPECT_TRUE(log.contains(QStringLiteral("VER 0.0.0.0"))) << log.join('\n').toStdString();
    EXPECT_EQ(log.count(server), 3) << log.join('\n').toStdString();
    // Off the server, nobody talks, whoever talked last.
    const qsizetype lost = log.lastIndexOf(running);
    ASSERT_GT(lost, first);
    for (qsizetype i = lost; i < back; ++i) {
        EXPECT_FALSE(log[i].startsWith(QStringLiteral("TX: ")))
            << i << ": " << log[i].toStdString();
    }
    EXPECT_FALSE(log.contains(QStringLiteral("TX: ") + kLocal)) << "the local user";
    EXPECT_FALSE(log.contains(QStringLiteral("TX: ") + kExcluded)) << "an excluded user";

    clientrun::expectStaticForTheOtherOnly(wave, heard);
    // The static's own level, then the click that ends it: louder than the static, and quiet
    // from shortly after it on.
    std::vector<double> body =
        levelsAfter(wave, heard.loudFrom, double(heard.loudTo - heard.loudFrom) / kBytesPerSecond);
    ASSERT_FALSE(body.empty());
    std::sort(body.begin(), body.end());
    const double staticLevel = body[body.size() / 2];
    const std::vector<double> ending = levelsAfter(wave, heard.loudTo, 1.5);
    const auto click = std::max_element(ending.begin(), ending.end());
    ASSERT_NE(click, ending.end());
    EXPECT_GT(*click, 3 * staticLevel) << "no click after the transmission";
    std::cout << "static " << staticLevel << ", click " << *click << "\n";
    const auto quietFrom = click + std::min(long(0.2 / kWindow), long(ending.end() - click));
    ASSERT_GT(ending.end() - quietFrom, 0) << "the recording ends with the click";
    EXPECT_LT(*std::max_element(quietFrom, ending.end()), 1e-4) << "sound after the click";
}
