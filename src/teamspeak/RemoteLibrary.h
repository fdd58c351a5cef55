#pragma once

#include "records/Records.h"

#include <cstdint>

// The client's remote-control library, exactly as it offers itself: six query functions that
// fill raw packed records (records/Records.h) and return result codes.
// Implementations: the library loaded at run time, and an in-process fake for tests.
// A library that cannot be used at all raises a Failure from every call.
class RemoteLibrary {
public:
    virtual ~RemoteLibrary() = default;

    // Fills buffer (size bytes) with the text of the last error.
    virtual int32_t tsrGetLastError(char* buffer, int32_t size) = 0;
    // Fills a 16-byte version record.
    virtual int32_t tsrGetVersion(uint8_t* record) = 0;
    // Fills a 150-byte user-info record; 0 on success.
    virtual int32_t tsrGetUserInfo(uint8_t* record) = 0;
    // Fills a 482-byte server-info record.
    virtual int32_t tsrGetServerInfo(uint8_t* record) = 0;
    // Fills up to *count 50-byte player records; *count holds their number on return.
    virtual int32_t tsrGetPlayers(uint8_t* records, int32_t* count) = 0;
    // Fills up to *count player IDs of the players talking now; 0 connected, -1 not
    // connected, -1000 client not running.
    virtual int32_t tsrGetSpeakers(int32_t* ids, int32_t* count) = 0;
};
