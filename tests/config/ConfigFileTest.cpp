#include "config/ConfigFile.h"

#include "Fifo.h"
#include "support/TempDir.h"
#include "window/MainWindow.h"

#include <QFileInfo>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Caps the size of the files this process writes, as a full disk would stop them: a write
// beyond the cap fails (EFBIG) instead of raising SIGXFSZ. Rights do not lift the cap, so the
// fault is real whoever runs the tests.
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit capped = saved_;
        capped.rlim_cur = bytes;
        capped_ = setrlimit(RLIMIT_FSIZE, &capped) == 0;
    }
    ~FileSizeCap() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeCap(const FileSizeCap&) = delete;
    FileSizeCap& operator=(const FileSizeCap&) = delete;

    bool capped() const { return capped_; }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
    bool capped_ = false;
};

// A window whose program directory is a scratch directory, read from the given file.
class ConfigFileTest : public testing::Test {
protected:
    ConfigFileTest() { main.setProgramDirectory(dir.path()); }

    void read(const QByteArray& contents) {
        dir.write("config.cfg", contents);
        ConfigFile::Read(main);
    }

    TempDir dir;
    MainWindow main;
};

TEST_F(ConfigFileTest, KeysAreMatchedWithoutCaseAndBlanksAroundThem) {
    read("  ClickVolume=40  \r\n");
    EXPECT_EQ(main.MicVol->value(), 40);
}

TEST_F(ConfigFileTest, TabsAreNotTrimmedSoATabbedKeyIsUnknown) {
    read("\tCLICKVOLUME = 40\r\n");
    EXPECT_EQ(main.MicVol->value(), 100);
}

TEST_F(ConfigFileTest, TheLineIsSplitAtItsFirstEquals) {
    read("EXCLUDED = ABC,DEF=X\r\n");
    EXPECT_EQ(main.vars.excludedCallsigns, QStringLiteral("ABC,DEF=X"));
}

TEST_F(ConfigFileTest, TextValuesAreTrimmedOfBlanksOnly) {
    read("CLICKSOUND =   my click.wav  \r\nNOISESOUND = \tnoise.wav\r\n");
    EXPECT_EQ(main.vars.clickSoundFile, QStringLiteral("my click.wav"));
    EXPECT_EQ(main.vars.noiseSoundFile, QStringLiteral("\tnoise.wav"));
}

TEST_F(ConfigFileTest, NumbersAreReadFromTheLeadingPart) {
    read("SENSITIVITY = 250ms\r\nPLAYTXSOUND = 1.5\r\n");
    EXPECT_EQ(main.vars.sensitivity, 250);
    EXPECT_EQ(main.TXpl->value(), 2);

    read("SENSITIVITY = fast\r\n");
    EXPECT_EQ(main.vars.sensitivity, 0);
    read("SENSITIVITY = 300\r\nSENSITIVITY =\r\n");
    EXPECT_EQ(main.vars.sensitivity, 0);
    read("PLAYTXSOUND = 2.5\r\n");
    EXPECT_EQ(main.vars.playTxSound, 2);
}

TEST_F(ConfigFileTest, ASixteenBitOverflowKeepsThePreviousValue) {
    read("SOUNDDEVICE = 3\r\nSOUNDDEVICE = 70000\r\nBUGTRACKING = 1\r\n");
    EXPECT_EQ(main.vars.soundDeviceIndex, 3);
    // Reading goes on after the failing line.
    EXPECT_EQ(main.vars.bugTracking, 1);
}

TEST_F(ConfigFileTest, AValueTheControlRefusesKeepsThePreviousOne) {
    read("CLICKVOLUME = 40\r\nCLICKVOLUME = 150\r\nNOISEVOLUME = -1\r\nEXCLUDED = X\r\n");
    EXPECT_EQ(main.MicVol->value(), 40);
    EXPECT_EQ(main.NoiseVol->value(), 70);
    EXPECT_EQ(main.vars.excludedCallsigns, QStringLiteral("X"));
}

TEST_F(ConfigFileTest, TheLastOccurrenceOfAKeyWins) {
    read("CLICKVOLUME = 30\r\nEXCLUDED = A\r\nCLICKVOLUME = 60\r\n");
    EXPECT_EQ(main.MicVol->value(), 60);
}

TEST_F(ConfigFileTest, ANumberSignHasNoMeaningOfItsOwn) {
    // The key of this line is "# clickvolume", which names no setting; a value may hold one.
    read("# CLICKVOLUME = 20\r\nEXCLUDED = #A=B\r\n");
    EXPECT_EQ(main.MicVol->value(), 100);
    EXPECT_EQ(main.vars.excludedCallsigns, QStringLiteral("#A=B"));
}

TEST_F(ConfigFileTest, CommentsAloneAndAMissingFileChangeNothing) {
    const QByteArray before = ConfigFile::Contents(main);
    ConfigFile::Read(main); // no file yet
    EXPECT_EQ(ConfigFile::Contents(main), before);
    read(before.left(before.indexOf("SOUNDDEVICE")));
    EXPECT_EQ(ConfigFile::Contents(main), before);
}

TEST_F(ConfigFileTest, LoneLineFeedsAndCarriageReturnsEndLinesToo) {
    read("CLICKVOLUME = 10\nNOISEVOLUME = 20\rSENSITIVITY = 30");
    EXPECT_EQ(main.MicVol->value(), 10);
    EXPECT_EQ(main.NoiseVol->value(), 20);
    EXPECT_EQ(main.vars.sensitivity, 30);
}

TEST_F(ConfigFileTest, NulBytesAndHugeLinesAreReadWithoutTrouble) {
    QByteArray contents("EXCLUDED = A\0B\r\n", 16);
    contents += "CLICKSOUND = " + QByteArray(1'000'000, 'x') + "\r\n";
    contents += "CLICKVOLUME = 1" + QByteArray(5000, '0') + "\r\nNOISEVOLUME = 5\r\n";
    read(contents);
    EXPECT_EQ(main.vars.excludedCallsigns, QString::fromLatin1("A\0B", 3));
    EXPECT_EQ(main.vars.clickSoundFile.size(), 1'000'000);
    EXPECT_EQ(main.MicVol->value(), 100);
    EXPECT_EQ(main.NoiseVol->value(), 5);
}

TEST_F(ConfigFileTest, AFileOfSeveralMegabytesIsReadToItsLastLine) {
    QByteArray contents;
    contents.reserve(6'000'000);
    for (int i = 0; contents.size() < 5'000'000; ++i) {
        contents += "# filler line " + QByteArray::number(i) +
                    "\r\nCLICKVOLUME = " + QByteArray::number(i % 90) + "\r\n";
    }
    contents += "CLICKVOLUME = 91\r\nNOISEVOLUME = 7"; // no line end after the last one
    read(contents);
    EXPECT_EQ(main.MicVol->value(), 91);
    EXPECT_EQ(main.NoiseVol->value(), 7);
}

TEST_F(ConfigFileTest, WithoutChangesTheWriterProducesTheInitialValues) {
    ASSERT_TRUE(ConfigFile::Write(main));
    const QList<QByteArray> lines = dir.lines("config.cfg");
    const QList<QByteArray> expected{
        "# STATICOR Configuration File",
        "# Do NOT edit this file while STATICOR is running!",
        "# Further Information at www.example.org/staticor",
        "# -------------------------------------------------",
        "",
        "SOUNDDEVICE = -1",
        "CLICKVOLUME = 100",
        "NOISEVOLUME = 70",
        "EXCLUDED = ",
        "CLICKSOUND = ",
        "NOISESOUND = ",
        "TXSOUND = ",
        "PLAYTXSOUND = 0",
        "BUGTRACKING = 0",
        "SENSITIVITY = 0",
    };
    EXPECT_EQ(lines, expected);
    // Every line, the last included, ends in CR LF.
    const QByteArray bytes = dir.read("config.cfg");
    EXPECT_EQ(bytes.count("\r\n"), 15);
    EXPECT_EQ(bytes.count('\n'), 15);
    EXPECT_TRUE(bytes.endsWith("SENSITIVITY = 0\r\n"));
}

TEST_F(ConfigFileTest, TheWriterTakesThreeValuesFromTheControls) {
    main.Combo1->addItem(QStringLiteral("first"));
    main.Combo1->addItem(QStringLiteral("second"));
    main.Combo1->setListIndex(1);
    main.TXpl->setValue(1);
    main.logErrors->setValue(2);
    main.vars.playTxSound = 0;
    main.vars.bugTracking = 0;
    main.vars.soundDeviceIndex = 0;
    const QByteArray text = ConfigFile::Contents(main);
    EXPECT_TRUE(text.contains("\r\nSOUNDDEVICE = 1\r\n"));
    EXPECT_TRUE(text.contains("\r\nPLAYTXSOUND = 1\r\n"));
    EXPECT_TRUE(text.contains("\r\nBUGTRACKING = 2\r\n"));
}

TEST_F(ConfigFileTest, WhatTheWriterWroteReadsBackExceptForOuterBlanks) {
    main.MicVol->setValueChecked(33);
    main.NoiseVol->setValueChecked(0);
    main.vars.excludedCallsigns = QStringLiteral("DLH123,EDDH_TWR");
    main.vars.clickSoundFile = QStringLiteral(" click.wav ");
    main.vars.noiseSoundFile = QStringLiteral("sub=dir/noise.wav");
    main.vars.txSoundFile = QStringLiteral("tx.wav");
    main.TXpl->setValue(1);
    main.logErrors->setValue(1);
    main.vars.sensitivity = 450;
    ASSERT_TRUE(ConfigFile::Write(main));

    MainWindow again;
    again.setProgramDirectory(dir.path());
    ConfigFile::Read(again);
    EXPECT_EQ(again.MicVol->value(), 33);
    EXPECT_EQ(again.NoiseVol->value(), 0);
    EXPECT_EQ(again.vars.excludedCallsigns, main.vars.excludedCallsigns);
    EXPECT_EQ(again.vars.clickSoundFile, QStringLiteral("click.wav"));
    EXPECT_EQ(again.vars.noiseSoundFile, main.vars.noiseSoundFile);
    EXPECT_EQ(again.vars.txSoundFile, main.vars.txSoundFile);
    EXPECT_EQ(again.TXpl->value(), 1);
    EXPECT_EQ(again.vars.bugTracking, 1);
    EXPECT_EQ(again.vars.sensitivity, 450);
    EXPECT_EQ(again.vars.soundDeviceIndex, -1);
}

// Callsigns and file names in several scripts, as a user of this version writes them.
const QString kScripts = QStringLiteral(
    "J\u00d6RG,\u0395\u039b\u0395\u039d\u0397,\u041c\u0410\u0420\u0418\u042f,\u674e\u96f7");
const QString kClick = QStringLiteral("kl\u00e4ck.wav");
const QString kNoise = QStringLiteral("\u0448\u0443\u043c/\u96d1\u97f3.wav");

TEST_F(ConfigFileTest, TextInTheLocalesEncodingIsReadAndWrittenInIt) {
    read("EXCLUDED = " + kScripts.toLocal8Bit() + "\r\nCLICKSOUND = " + kClick.toLocal8Bit() +
         "\r\nNOISESOUND = " + kNoise.toLocal8Bit() + "\r\n");
    EXPECT_EQ(main.vars.excludedCallsigns, kScripts);
    EXPECT_EQ(main.vars.clickSoundFile, kClick);
    EXPECT_EQ(main.vars.noiseSoundFile, kNoise);

    ASSERT_TRUE(ConfigFile::Write(main));
    const QList<QByteArray> lines = dir.lines("config.cfg");
    EXPECT_TRUE(lines.contains("EXCLUDED = " + kScripts.toLocal8Bit()));
    EXPECT_TRUE(lines.contains("CLICKSOUND = " + kClick.toLocal8Bit()));
    EXPECT_TRUE(lines.contains("NOISESOUND = " + kNoise.toLocal8Bit()));

    MainWindow again;
    again.setProgramDirectory(dir.path());
    ConfigFile::Read(again);
    EXPECT_EQ(again.vars.excludedCallsigns, kScripts);
    EXPECT_EQ(again.vars.clickSoundFile, kClick);
    EXPECT_EQ(again.vars.noiseSoundFile, kNoise);
}

TEST_F(ConfigFileTest, ALatin1LineOfAnOlderVersionIsReadAsLatin1AndWrittenInTheLocalesEncoding) {
    // \xf6 is no text in UTF-8: the whole line is taken as Latin-1.
    read("EXCLUDED = J\xf6rg,M\xdcLLER\r\nTXSOUND = \xe9t\xe9.wav\r\n");
    EXPECT_EQ(main.vars.excludedCallsigns, QStringLiteral("J\u00f6rg,M\u00dcLLER"));
    EXPECT_EQ(main.vars.txSoundFile, QStringLiteral("\u00e9t\u00e9.wav"));

    ASSERT_TRUE(ConfigFile::Write(main));
    const QList<QByteArray> lines = dir.lines("config.cfg");
    EXPECT_TRUE(lines.contains("EXCLUDED = J\xc3\xb6rg,M\xc3\x9cLLER"));
    EXPECT_TRUE(lines.contains("TXSOUND = \xc3\xa9t\xc3\xa9.wav"));
    EXPECT_FALSE(dir.read("config.cfg").contains("\xf6")) << "no Latin-1 is written";
}

TEST_F(ConfigFileTest, EachLineOfAMixedFileIsDecodedOnItsOwn) {
    // An old file edited after the upgrade: Latin-1 lines next to UTF-8 ones. A line with a
    // character cut short, or with bytes that only look like UTF-8 next to a Latin-1 one, is
    // Latin-1 as a whole.
    read("EXCLUDED = J\xf6rg\r\n"
         "CLICKSOUND = " +
         kClick.toLocal8Bit() +
         "\r\n"
         "NOISESOUND = caf\xe9.wav\r\n"
         "TXSOUND = \xc3\xa4\xe4\r\n"
         "CLICKVOLUME = 12\xe4\r\n"
         "NOISEVOLUME = 13\xc3\r\n");
    EXPECT_EQ(main.vars.excludedCallsigns, QStringLiteral("J\u00f6rg"));
    EXPECT_EQ(main.vars.clickSoundFile, kClick);
    EXPECT_EQ(main.vars.noiseSoundFile, QStringLiteral("caf\u00e9.wav"));
    EXPECT_EQ(main.vars.txSoundFile, QStringLiteral("\u00c3\u00a4\u00e4"));
    EXPECT_EQ(main.MicVol->value(), 12);
    EXPECT_EQ(main.NoiseVol->value(), 13);

    ASSERT_TRUE(ConfigFile::Write(main));
    MainWindow again;
    again.setProgramDirectory(dir.path());
    ConfigFile::Read(again);
    EXPECT_EQ(again.vars.excludedCallsigns, main.vars.excludedCallsigns);
    EXPECT_EQ(again.vars.clickSoundFile, kClick);
    EXPECT_EQ(again.vars.noiseSoundFile, main.vars.noiseSoundFile);
    EXPECT_EQ(again.vars.txSoundFile, main.vars.txSoundFile);
    EXPECT_EQ(ConfigFile::Contents(again), ConfigFile::Contents(main));
}

TEST_F(ConfigFileTest, AFailedWriteLeavesTheOldFileWhole) {
    dir.write("config.cfg", "CLICKVOLUME = 12\r\n");
    const QFile::Permissions before = QFileInfo(dir.path()).permissions();
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    const bool written = ConfigFile::Write(main);
    QFile::setPermissions(dir.path(), before);
    if (written) {
        GTEST_SKIP() << "running with rights that ignore a read-only directory";
    }
    EXPECT_EQ(dir.read("config.cfg"), "CLICKVOLUME = 12\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("config.cfg")});
}

TEST_F(ConfigFileTest, AWriteThatRunsOutOfSpaceKeepsTheOldFile) {
    const QByteArray old = "CLICKVOLUME = 12\r\nSENSITIVITY = 250\r\n";
    main.MicVol->setValueChecked(33);
    // Nothing fits, and part of the file fits: the old file stays either way, and no temporary
    // file is left beside it.
    for (const rlim_t cap : {rlim_t{0}, rlim_t{100}}) {
        dir.write("config.cfg", old);
        bool written = true;
        {
            const FileSizeCap full(cap);
            ASSERT_TRUE(full.capped());
            written = ConfigFile::Write(main);
        }
        EXPECT_FALSE(written) << cap;
        EXPECT_EQ(dir.read("config.cfg"), old) << cap;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("config.cfg")})
            << cap;
    }
    // With room again the same write goes through.
    ASSERT_TRUE(ConfigFile::Write(main));
    EXPECT_TRUE(dir.read("config.cfg").contains("\r\nCLICKVOLUME = 33\r\n"));
}

TEST_F(ConfigFileTest, AMissingFileIsWrittenAtClose) {
    ConfigFile::Read(main);
    EXPECT_FALSE(main.vars.configUnreadable);
    ASSERT_TRUE(ConfigFile::Write(main));
    EXPECT_EQ(dir.read("config.cfg"), ConfigFile::Contents(main));
}

TEST_F(ConfigFileTest, AFileTheOwnerMayNotReadIsNotWrittenOverAtClose) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "running with rights that read any file";
    }
    dir.write("config.cfg", "CLICKVOLUME = 12\r\n");
    QFile::setPermissions(dir.file("config.cfg"), QFile::WriteOwner);
    ConfigFile::Read(main);
    const bool written = ConfigFile::Write(main);
    QFile::setPermissions(dir.file("config.cfg"), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_TRUE(main.vars.configUnreadable);
    EXPECT_FALSE(written);
    EXPECT_EQ(dir.read("config.cfg"), "CLICKVOLUME = 12\r\n");
}

TEST_F(ConfigFileTest, ADirectoryInPlaceOfTheFileIsNeitherReadNorReplaced) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("config.cfg")));
    ConfigFile::Read(main);
    EXPECT_TRUE(main.vars.configUnreadable);
    EXPECT_FALSE(ConfigFile::Write(main));
    EXPECT_TRUE(QFileInfo(dir.file("config.cfg")).isDir());
}

TEST_F(ConfigFileTest, ANamedPipeInPlaceOfTheFileIsNotWaitedForAndNotReplaced) {
    ASSERT_TRUE(makeFifo(dir.file("config.cfg")));
    EXPECT_TRUE(returnsByItself(dir.file("config.cfg"), [this] { ConfigFile::Read(main); }))
        << "reading waited for a writer on the pipe";
    EXPECT_TRUE(main.vars.configUnreadable);
    EXPECT_EQ(main.MicVol->value(), 100);
    EXPECT_FALSE(ConfigFile::Write(main));
    EXPECT_TRUE(isFifo(dir.file("config.cfg")));
}

TEST_F(ConfigFileTest, ADeviceBehindTheNameReadsAsUnreadable) {
    // Endless zeros: reading the whole file would never end.
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), dir.file("config.cfg")));
    ConfigFile::Read(main);
    EXPECT_TRUE(main.vars.configUnreadable);
    EXPECT_EQ(ConfigFile::Contents(main), ConfigFile::Contents(MainWindow()));
}

TEST_F(ConfigFileTest, WhatWasUnreadableAtStartIsNotWrittenOverEvenWhenItIsReadableAtClose) {
    // The pipe stands for any file that could not be read; by the close a regular file with
    // settings of its own has taken its place, and they are kept.
    ASSERT_TRUE(makeFifo(dir.file("config.cfg")));
    ASSERT_TRUE(returnsByItself(dir.file("config.cfg"), [this] { ConfigFile::Read(main); }));
    ASSERT_TRUE(QFile::remove(dir.file("config.cfg")));
    dir.write("config.cfg", "CLICKVOLUME = 12\r\n");
    EXPECT_FALSE(ConfigFile::Write(main));
    EXPECT_EQ(dir.read("config.cfg"), "CLICKVOLUME = 12\r\n");
}

TEST_F(ConfigFileTest, AFileThatStopsBeingRegularDuringTheRunIsNotReplaced) {
    ConfigFile::Read(main); // no file yet
    ASSERT_TRUE(makeFifo(dir.file("config.cfg")));
    EXPECT_FALSE(ConfigFile::Write(main));
    EXPECT_TRUE(isFifo(dir.file("config.cfg")));
}

TEST_F(ConfigFileTest, ALinkToARegularFileIsReadAndWrittenThroughTheLink) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("elsewhere")));
    const QString target = dir.file(QStringLiteral("elsewhere/settings.cfg"));
    dir.write(QStringLiteral("elsewhere/settings.cfg"), "CLICKVOLUME = 12\r\n");
    ASSERT_TRUE(QFile::link(target, dir.file("config.cfg")));

    ConfigFile::Read(main);
    EXPECT_FALSE(main.vars.configUnreadable);
    EXPECT_EQ(main.MicVol->value(), 12);

    main.NoiseVol->setValueChecked(5);
    ASSERT_TRUE(ConfigFile::Write(main));
    EXPECT_EQ(QFileInfo(dir.file("config.cfg")).symLinkTarget(), target);
    EXPECT_EQ(dir.read(QStringLiteral("elsewhere/settings.cfg")), ConfigFile::Contents(main));
}

} // namespace
