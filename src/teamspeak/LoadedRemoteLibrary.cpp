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
    int32_t(TSR_CALL* getLastError)(char*, int32_t);
    int32_t(TSR_CALL* getVersion)(void*);
    int32_t(TSR_CALL* getUserInfo)(void*);
    int32_t(TSR_CALL* getServerInfo)(void*);
    int32_t(TSR_CALL* getPlayers)(void*, int32_t*);
    int32_t(TSR_CALL* getSpeakers)(int32_t*, int32_t*);
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

LoadedRemoteLibrary::LoadedRemoteLibrary(QString programDirectory)
    : path_(QDir(programDirectory).filePath(fileName())) {}

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

const LoadedRemoteLibrary::Functions& LoadedRemoteLibrary::functions() {
    if (functions_) {
        return *functions_;
    }
    if (!tried_) {
        // Loaded once: a library that is missing now stays missing for this run, so the
        // polling does not retry the load twenty times a second.
        tried_ = true;
        QString error;
        handle_ = openLibrary(path_, error);
        if (!handle_) {
            failureNumber_ = 53;
            failureDescription_ = QStringLiteral("File not found: %1 (%2)").arg(path_, error);
        } else {
            Functions f{};
            struct Entry {
                const char* name;
                void** slot;
            };
            const Entry entries[] = {
                {"tsrGetLastError", reinterpret_cast<void**>(&f.getLastError)},
                {"tsrGetVersion", reinterpret_cast<void**>(&f.getVersion)},
                {"tsrGetUserInfo", reinterpret_cast<void**>(&f.getUserInfo)},
                {"tsrGetServerInfo", reinterpret_cast<void**>(&f.getServerInfo)},
                {"tsrGetPlayers", reinterpret_cast<void**>(&f.getPlayers)},
                {"tsrGetSpeakers", reinterpret_cast<void**>(&f.getSpeakers)},
            };
            for (const Entry& entry : entries) {
                *entry.slot = findFunction(handle_, entry.name);
                if (!*entry.slot) {
                    failureNumber_ = 453;
                    failureDescription_ = QStringLiteral("Can't find DLL entry point %1 in %2")
                                              .arg(QLatin1String(entry.name), path_);
                    break;
                }
            }
            if (failureNumber_ == 0) {
                functions_ = std::make_unique<Functions>(f);
                return *functions_;
            }
            closeLibrary(handle_);
            handle_ = nullptr;
        }
    }
    throw Failure(failureNumber_, failureDescription_);
}

int32_t LoadedRemoteLibrary::tsrGetLastError(char* buffer, int32_t size) {
    return functions().getLastError(buffer, size);
}

int32_t LoadedRemoteLibrary::tsrGetVersion(uint8_t* record) {
    return functions().getVersion(record);
}

int32_t LoadedRemoteLibrary::tsrGetUserInfo(uint8_t* record) {
    return functions().getUserInfo(record);
}

int32_t LoadedRemoteLibrary::tsrGetServerInfo(uint8_t* record) {
    return functions().getServerInfo(record);
}

int32_t LoadedRemoteLibrary::tsrGetPlayers(uint8_t* records, int32_t* count) {
    return functions().getPlayers(records, count);
}

int32_t LoadedRemoteLibrary::tsrGetSpeakers(int32_t* ids, int32_t* count) {
    return functions().getSpeakers(ids, count);
}
