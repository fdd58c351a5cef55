// libTSRemote.so: the client's remote-control functions with C linkage, answered by the
// simulated client over its socket.

#include "ClientCall.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#define TSREMOTE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex lastErrorMutex;
std::string lastError;

void setLastError(const std::string& text) {
    std::lock_guard lock(lastErrorMutex);
    lastError = text;
}

// One call: the reply's records go to the caller's buffer only when the call succeeded.
int32_t fixedRecordCall(tsremote::Operation operation, void* record, size_t size) {
    if (!record) {
        setLastError("No record given");
        return tsremote::kBadArgument;
    }
    // A reply without the record leaves it as it was.
    const tsremote::CallResult reply =
        tsremote::callClient(operation, 1, {static_cast<uint8_t*>(record), size});
    if (reply.result != 0) {
        setLastError(reply.error);
        return reply.result;
    }
    return 0;
}

int32_t listCall(tsremote::Operation operation, void* records, int32_t* count, size_t size) {
    if (!records || !count || *count < 0) {
        setLastError("No buffer given");
        return tsremote::kBadArgument;
    }
    // callClient checks count against the capacity and the payload against count, and
    // writes the records only on success.
    const tsremote::CallResult reply = tsremote::callClient(
        operation, *count, {static_cast<uint8_t*>(records), size_t(*count) * size});
    if (reply.result != 0) {
        setLastError(reply.error);
        return reply.result;
    }
    *count = reply.count;
    return 0;
}

} // namespace

TSREMOTE_EXPORT int32_t tsrGetLastError(char* buffer, int32_t size) {
    if (!buffer || size <= 0) {
        return tsremote::kBadArgument;
    }
    std::lock_guard lock(lastErrorMutex);
    const size_t length = std::min(lastError.size(), size_t(size) - 1);
    std::memcpy(buffer, lastError.data(), length);
    buffer[length] = '\0';
    return 0;
}

TSREMOTE_EXPORT int32_t tsrGetVersion(void* record) {
    return fixedRecordCall(tsremote::OpVersion, record, records::version::kSize);
}

TSREMOTE_EXPORT int32_t tsrGetUserInfo(void* record) {
    return fixedRecordCall(tsremote::OpUserInfo, record, records::userInfo::kSize);
}

TSREMOTE_EXPORT int32_t tsrGetServerInfo(void* record) {
    return fixedRecordCall(tsremote::OpServerInfo, record, records::serverInfo::kSize);
}

TSREMOTE_EXPORT int32_t tsrGetPlayers(void* records, int32_t* count) {
    return listCall(tsremote::OpPlayers, records, count, records::player::kSize);
}

TSREMOTE_EXPORT int32_t tsrGetSpeakers(int32_t* ids, int32_t* count) {
    return listCall(tsremote::OpSpeakers, ids, count, sizeof(int32_t));
}
