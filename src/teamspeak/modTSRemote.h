#pragma once

#include "RemoteLibrary.h"

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

class ErrorLog;
class MainWindow;

// One player on the server, as the last successful GetPlayers returned him.
struct PlayerEntry {
    int32_t playerId = 0;
    int32_t channelId = 0;
    QString nickname;
    QString channelPrivileges;
    QString playerPrivileges;
    QString playerFlags;
};

// The server the client is connected to.
struct ServerDescription {
    QString serverName;
    QString welcomeMessage;
    QString version;
    QString platform;
    QString serverAddress;
    QString hostName;
    QString serverType;
    int32_t maximumUsers = 0;
    QString codecs;
    int32_t channelCount = 0;
    int32_t playerCount = 0;
};

// The program's layer over the remote-control library: decodes its packed records and keeps
// the players and speakers of the last query. Traps nothing: a library that cannot be used
// raises its Failure to the caller.
class modTSRemote {
public:
    // The connection states that GetSpeakers returns.
    enum State : int { Unknown = -1, NotRunning = 0, Running = 1, Connected = 2 };

    static constexpr int kCapacity = records::kCapacity;
    static constexpr int kErrorTextSize = records::kErrorTextSize;

    modTSRemote(MainWindow& main, RemoteLibrary& library, const ErrorLog& log);

    // A 32-bit little-endian two's-complement field at any offset.
    static int32_t decodeInt32(const uint8_t* bytes);
    // A fixed-width 8-bit text field in the locale's encoding: up to its first zero byte, or
    // its whole width. Bytes that are no text in that encoding decode as U+FFFD, except for a
    // character cut short by the end of a filled field, which is dropped.
    static QString fieldText(const uint8_t* field, int width);
    // The text of a field's bytes; filled tells whether they took the field's whole width.
    static QString decodeText(QByteArrayView bytes, bool filled);

    // Logs the library's last-error text when logErrors is exactly 1.
    void ReportLastError();
    // major.minor.release.build of the client.
    QString GetClientVersion();
    // Sets lblPID to the local user's nickname (empty when the query fails).
    void DetectNickname();
    ServerDescription GetServerDescription();
    // Replaces players on success; on failure they keep their previous rows.
    bool GetPlayers();
    // Replaces speakerIds and returns the connection state.
    int GetSpeakers();

    const std::vector<PlayerEntry>& players() const { return players_; }
    const std::vector<int32_t>& speakerIds() const { return speakerIds_; }

private:
    MainWindow& main_;
    RemoteLibrary& library_;
    const ErrorLog& log_;
    std::vector<PlayerEntry> players_;
    std::vector<int32_t> speakerIds_;
    std::vector<uint8_t> playerRecords_; // reused each tick, zeroed before each call
    // The record each row of players_ was decoded from.
    std::vector<uint8_t> decodedRecords_;
};
