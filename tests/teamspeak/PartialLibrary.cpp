// A remote-control library that lacks tsrGetSpeakers.
#include <cstdint>

extern "C" {
int32_t tsrGetLastError(char* buffer, int32_t size) {
    if (size > 0) {
        buffer[0] = 0;
    }
    return 0;
}
int32_t tsrGetVersion(void*) {
    return 0;
}
int32_t tsrGetUserInfo(void*) {
    return 0;
}
int32_t tsrGetServerInfo(void*) {
    return 0;
}
int32_t tsrGetPlayers(void*, int32_t* count) {
    *count = 0;
    return 0;
}
}
