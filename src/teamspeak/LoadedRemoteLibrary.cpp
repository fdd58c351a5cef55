#include "LoadedRemoteLibrary.h"

#include "window/Failure.h"

#include <QDir>
#include <QFile>

#ifdef _WIN32
#include <windows.h>
#define TSR_CALL __stdcall
#else
#include <dlfcn.h>
#define TSR_CALL
#endif

struct LoadedRemoteLibrary::Functions {
    int32_t(TSR_CALL* getLastError)(char*, int32_t) = nullptr;
    int32_t(TSR_CALL* getVersion)(void*) = nullptr;
    int32_t(TSR_CALL* getUserInfo)(void*) = nullptr;
    int32_t(TSR_CALL* getServerInfo)(void*) = nullptr;
    int32_t(TSR_CALL* getPlayers)(void*, int32_t*) = nullptr;
    int32_t(TSR_CALL* getSpeakers)(int32_t*, int32_t*) = nullptr;
};

namespace {

// The platform loaders rather than QLibrary, which goes on to try other prefixes and
// suffixes when the file is missing: the program loads exactly this file or nothing.
void* openLibrary(const QString& path, QString& error) {
#ifdef _WIN32
    HMODULE module =
        LoadLibraryW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()));
    if (!module) {
        error = QStringLiteral("error %1").arg(GetLastError());
    }
    return reinterpret_cast<void*>(module);
#else
    void* handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        error = QString::fromLocal8Bit(dlerror());
    }
    return handle;
#endif
}

void* findFunction(void* handle, const char* name) {
#ifdef _WIN32
    // The 32-bit library exports its __stdcall functions undecorated.
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}

void closeLibrary(void* handle) {
#ifdef _WIN32
    FreeLibrary(reinterpret_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
}

} // namespace

LoadedRemoteLibrary::LoadedRemoteLibrary(QString programDirectory,
                                         std::function<Clock::time_point()> now)
    : path_(QDir(programDirectory).filePath(fileName())), now_(std::move(now)),
      functions_(std::make_unique<Functions>()) {}

LoadedRemoteLibrary::~LoadedRemoteLibrary() {
    if (handle_) {
        closeLibrary(handle_);
    }
}

QString LoadedRemoteLibrary::fileName() {
#ifdef _WIN32
    return QStringLiteral("TSRemote.dll");
#else
    return QStringLiteral("libTSRemote.so");
#endif
}

void LoadedRemoteLibrary::load() {
    if (handle_) {
        return;
    }
    const Clock::time_point now = now_();
    if (looked_ && now - lastLook_ < kRetryInterval) {
        return;
    }
    looked_ = true;
    lastLook_ = now;
    QString error;
    handle_ = openLibrary(path_, error);
    if (!handle_) {
        notFound_ = QStringLiteral("File not found: %1 (%2)").arg(path_, error);
        return;
    }
    Functions& f = *functions_;
    const std::pair<const char*, void**> entries[] = {
        {"tsrGetLastError", reinterpret_cast<void**>(&f.getLastError)},
        {"tsrGetVersion", reinterpret_cast<void**>(&f.getVersion)},
        {"tsrGetUserInfo", reinterpret_cast<void**>(&f.getUserInfo)},
        {"tsrGetServerInfo", reinterpret_cast<void**>(&f.getServerInfo)},
        {"tsrGetPlayers", reinterpret_cast<void**>(&f.getPlayers)},
        {"tsrGetSpeakers", reinterpret_cast<void**>(&f.getSpeakers)},
    };
    for (const auto& [name, slot] : entries) {
        *slot = findFunction(handle_, name);
    }
}

template <typename Function>
Function LoadedRemoteLibrary::resolved(Function Functions::*slot, const char* name) {
    load();
    if (!handle_) {
        throw Failure(53, notFound_);
    }
    const Function function = (*functions_).*slot;
    if (!function) {
        throw Failure(
            453,
            QStringLiteral("Can't find DLL entry point %1 in %2").arg(QLatin1String(name), path_));
    }
    return function;
}

int32_t LoadedRemoteLibrary::tsrGetLastError(char* buffer, int32_t size) {
    return resolved(&Functions::getLastError, "tsrGetLastError")(buffer, size);
}

int32_t LoadedRemoteLibrary::tsrGetVersion(uint8_t* record) {
    return resolved(&Functions::getVersion, "tsrGetVersion")(record);
}

int32_t LoadedRemoteLibrary::tsrGetUserInfo(uint8_t* record) {
    return resolved(&Functions::getUserInfo, "tsrGetUserInfo")(record);
}

int32_t LoadedRemoteLibrary::tsrGetServerInfo(uint8_t* record) {
    return resolved(&Functions::getServerInfo, "tsrGetServerInfo")(record);
}

int32_t LoadedRemoteLibrary::tsrGetPlayers(uint8_t* records, int32_t* count) {
    return resolved(&Functions::getPlayers, "tsrGetPlayers")(records, count);
}

int32_t LoadedRemoteLibrary::tsrGetSpeakers(int32_t* ids, int32_t* count) {
    return resolved(&Functions::getSpeakers, "tsrGetSpeakers")(ids, count);
}
