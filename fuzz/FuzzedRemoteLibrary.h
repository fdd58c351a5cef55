#pragma once

#include "ByteStream.h"
#include "teamspeak/RemoteLibrary.h"
#include "window/Failure.h"

namespace fuzz {

// A remote-control library whose every answer comes from the fuzzer's bytes: the result
// code, the count handed back, the bytes of the records (nothing forces a zero byte into a
// text field) and now and then a Failure, as a library that cannot be used raises.
class FuzzedRemoteLibrary : public RemoteLibrary {
public:
    explicit FuzzedRemoteLibrary(ByteStream& bytes) : bytes_(bytes) {}

    int32_t tsrGetLastError(char* buffer, int32_t size) override {
        const int32_t result = answer();
        bytes_.fill(reinterpret_cast<uint8_t*>(buffer), size_t(size));
        return result;
    }
    int32_t tsrGetVersion(uint8_t* record) override {
        const int32_t result = answer();
        bytes_.fill(record, records::version::kSize);
        return result;
    }
    int32_t tsrGetUserInfo(uint8_t* record) override {
        const int32_t result = answer();
        bytes_.fill(record, records::userInfo::kSize);
        return result;
    }
    int32_t tsrGetServerInfo(uint8_t* record) override {
        const int32_t result = answer();
        bytes_.fill(record, records::serverInfo::kSize);
        return result;
    }
    int32_t tsrGetPlayers(uint8_t* rows, int32_t* count) override {
        const int32_t result = answer();
        const int32_t capacity = *count;
        *count = countFor(capacity);
        const int32_t filled = std::clamp(*count, 0, capacity);
        bytes_.fill(rows, size_t(filled) * records::player::kSize);
        return result;
    }
    int32_t tsrGetSpeakers(int32_t* ids, int32_t* count) override {
        const int32_t result = answer();
        const int32_t capacity = *count;
        *count = countFor(capacity);
        const int32_t filled = std::clamp(*count, 0, capacity);
        bytes_.fill(reinterpret_cast<uint8_t*>(ids), size_t(filled) * sizeof(int32_t));
        return result;
    }

private:
    // Mostly the codes the client really gives, sometimes any number; one in sixteen calls
    // raises instead.
    int32_t answer() {
        const uint8_t choice = bytes_.byte();
        switch (choice & 0x0F) {
        case 0:
            throw Failure(choice >> 4, QStringLiteral("library unusable"));
        case 1:
            return -1;
        case 2:
            return -1000;
        case 3:
            return bytes_.int32();
        default:
            return 0;
        }
    }
    // Usually a small count within the buffer, sometimes any number at all.
    int32_t countFor(int32_t capacity) {
        const uint8_t choice = bytes_.byte();
        if (choice < 16) {
            return bytes_.int32();
        }
        if (choice < 32) {
            return capacity;
        }
        return choice & 0x3F;
    }

    ByteStream& bytes_;
};

} // namespace fuzz
