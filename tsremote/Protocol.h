#pragma once

#include "records/Records.h"

#include <cstdint>

// The wire between libTSRemote.so and ts2-client-sim: requests and replies take turns on a
// connection, one reply to each request; either end may close it between them. All integers
// little-endian (both ends run on this machine).
namespace tsremote {

constexpr uint32_t kRequestMagic = 0x51525354; // "TSRQ"
constexpr uint32_t kReplyMagic = 0x41525354;   // "TSRA"

enum Operation : uint32_t {
    OpVersion = 1,
    OpUserInfo = 2,
    OpServerInfo = 3,
    OpPlayers = 4,
    OpSpeakers = 5,
};

struct Request {
    uint32_t magic;
    uint32_t operation;
    int32_t capacity; // records or IDs the caller's buffer holds
};

// Followed by payloadSize bytes of records, then errorSize bytes of error text.
struct ReplyHeader {
    uint32_t magic;
    int32_t result;
    int32_t count;
    uint32_t payloadSize;
    uint32_t errorSize;
};

constexpr uint32_t kMaxErrorSize = 1023;
constexpr int32_t kMaxRecords = 65536;

// Result codes beside the client's own.
constexpr int32_t kNotRunning = -1000;
constexpr int32_t kNotConnected = -1;
constexpr int32_t kNoAnswer = -1001;
constexpr int32_t kGarbledReply = -1002;
constexpr int32_t kBadArgument = -1003;

// How long one call may wait for the client, connecting included; the margin keeps the whole
// call, its own work included, within 100 ms. Calls that follow one another closely share
// this time rather than each having its own (WaitBudget), so that a caller's tick of several
// calls is held no longer by a slow client.
constexpr int kTimeoutMs = 95;
// An answer within this time is a healthy client's, and takes nothing from the shared time.
constexpr int kHealthyAnswerMs = 2;

} // namespace tsremote
