// Dialogs opened through the menus while the client keeps the program busy (a full server):
// the polling goes on while each is open, so a transmission during it is heard as static that
// starts and ends with it, followed by the click. Real X server, window manager and mouse;
// the sound as OpenAL Soft's wave writer recorded it.

#include "XDisplay.h"
#include "e2e/WaveRecording.h"
#include "support/Eventually.h"
#include "support/ProgramRun.h"

#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

constexpr double kSilence = 1e-4;

struct Menu {
    const char* title; // the dialog's title
    int menuX;         // the menu's title in the menu bar
    int itemX, itemY;  // the item in the open menu
};

// Where, in bytes of the recording, a transmission during a dialog started and ended.
struct Transmission {
    const char* dialog;
    qint64 talk = 0;
    qint64 stop = 0;
    qint64 after = 0;
};

TEST(ModalE2E, TransmissionsDuringEachDialogAreHeardInTime) {
    XDisplay display;
    ASSERT_TRUE(display.ready()) << "Xvfb with IceWM could not be started";
    ProgramRun run;
    run.writeFile(QStringLiteral("config.cfg"),
                  "CLICKVOLUME = 100\r\nNOISEVOLUME = 70\r\nCLICKSOUND = click.wav\r\n"
                  "NOISESOUND = noise.wav\r\nTXSOUND = tx.wav\r\nPLAYTXSOUND = 0\r\n"
                  "BUGTRACKING = 1\r\nSENSITIVITY = 100\r\n");
    const QString wave = run.recordSound();
    run.env().insert(QStringLiteral("TS2_CLIENT_SIM_SOCKET"), run.file(QStringLiteral("sim.sock")));
    run.useDisplay(display.name());

    QProcess& client = run.start(QStringLiteral("ts2-client-sim"));
    auto command = [&](const QByteArray& line) { ProgramRun::type(client, line + "\n"); };
    // Every tick rebuilds a full server's user list.
    command("self 1 EDDH_TWR\nconnect 127.0.0.1:8767 \"Radio Practice\"\njoin 2 DLH123\n"
            "crowd 1024");
    QProcess& program = run.start();
    ASSERT_TRUE(run.waitForText(QStringLiteral("errorlog.txt"), "STAT Connected", 15000));
    const auto window = display.waitForWindow(QStringLiteral("^Staticor v"), 10000);
    ASSERT_TRUE(window.has_value());
    const QByteArray path = wave.toLocal8Bit();
    auto recorded = [&] {
        struct stat st {};
        return ::stat(path.constData(), &st) == 0 ? qint64(st.st_size) : qint64(0);
    };
    auto click = [&](int x, int y) {
        display.run(QStringLiteral("xdotool"),
                    {QStringLiteral("mousemove"), QStringLiteral("--window"), *window,
                     QString::number(x), QString::number(y), QStringLiteral("click"),
                     QStringLiteral("1")});
    };

    const Menu menus[] = {
        {"Preferences", 31, 61, 28}, {"Help", 79, 109, 28}, {"About", 79, 109, 51}};
    std::vector<Transmission> transmissions;
    for (const Menu& menu : menus) {
        const QString title = QStringLiteral("^%1$").arg(QLatin1String(menu.title));
        std::optional<QString> dialog;
        ASSERT_TRUE(eventually(
            [&] {
                click(menu.menuX, 8);
                QThread::msleep(400);
                click(menu.itemX, menu.itemY);
                dialog = display.waitForWindow(title, 2000);
                return dialog.has_value();
            },
            15000))
            << menu.title << " did not open";
        QThread::msleep(500);
        Transmission t{menu.title};
        t.talk = recorded();
        command("talk 2");
        QThread::msleep(1500);
        t.stop = recorded();
        command("stop 2");
        QThread::msleep(1200);
        t.after = recorded();
        transmissions.push_back(t);
        EXPECT_TRUE(display.isViewable(*dialog)) << menu.title << " closed by itself";
        display.run(QStringLiteral("wmctrl"), {QStringLiteral("-c"), QLatin1String(menu.title)});
        ASSERT_TRUE(eventually([&] { return !display.isViewable(*dialog); }, 5000));
    }
    EXPECT_TRUE(run.terminate(program));
    command("quit");
    client.waitForFinished(5000);

    const WaveRecording recording = WaveRecording::read(wave);
    ASSERT_GT(recording.rate, 0) << "no recording";
    const qint64 frameBytes = qint64(recording.channels) * qint64(sizeof(float));
    const qint64 header = recorded() - qint64(recording.frames()) * frameBytes;
    auto frameOf = [&](qint64 bytes) {
        return size_t(std::max<qint64>(0, bytes - header) / frameBytes);
    };
    const auto seconds = [&](double s) { return size_t(s * recording.rate); };
    for (const Transmission& t : transmissions) {
        const size_t talk = frameOf(t.talk);
        const size_t stop = frameOf(t.stop);
        const size_t after = frameOf(t.after);
        ASSERT_LT(after, recording.frames()) << t.dialog;
        // Static from at most 0.4 s after the transmission started to its end: the 100 ms
        // sensitivity, the poll and the mixing, with room for a busy machine.
        const size_t window = seconds(0.05);
        for (size_t f = talk + seconds(0.4); f + window <= stop; f += window) {
            ASSERT_GT(recording.rms(f, window), kSilence)
                << t.dialog << ": no static " << double(f - talk) / recording.rate
                << " s into the transmission";
        }
        // Then the click, and silence.
        double loudest = 0;
        for (size_t f = stop; f < stop + seconds(0.5); f += window) {
            loudest = std::max(loudest, recording.rms(f, window));
        }
        EXPECT_GT(loudest, recording.rms(talk + seconds(0.4), stop - talk - seconds(0.4)))
            << t.dialog << ": no click after the transmission";
        EXPECT_LT(recording.rms(stop + seconds(0.7), after - stop - seconds(0.7)), kSilence)
            << t.dialog << ": the static went on after the transmission";
    }
}

} // namespace
