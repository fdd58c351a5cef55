// A remote-control library that lacks tsrGetSpeakers. Its other functions answer with values
// of their own, so a test can tell that a call reached it.
#include "records/Records.h"

#include <cstring>

extern "C" {
int32_t tsrGetLastError(char* buffer, int32_t size) {
    if (size > 0) {
        std::strncpy(buffer, "partial", size_t(size) - 1);
        buffer[size - 1] = 0;
    }
    return 0;
}
int32_t tsrGetVersion(void* record) {
    auto* bytes = static_cast<uint8_t*>(record);
    for (int32_t i = 0; i < 4; ++i) {
        records::writeInt32(bytes + records::version::kNumbers + 4 * i, 9 - i);
    }
    return 0;
}
int32_t tsrGetUserInfo(void* record) {
    records::writePlayer(static_cast<uint8_t*>(record), {1, 2, "Partial", 0, 0, 0});
    return 0;
}
int32_t tsrGetServerInfo(void* record) {
    records::writeText(static_cast<uint8_t*>(record), records::serverInfo::kName, "Partial");
    return 7;
}
int32_t tsrGetPlayers(void* records, int32_t* count) {
    records::writePlayer(static_cast<uint8_t*>(records), {5, 1, "ONLY", 0, 0, 0});
    *count = 1;
    return 0;
}
}
