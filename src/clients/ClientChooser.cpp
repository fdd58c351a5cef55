#include "ClientChooser.h"

#include "SnapshotLibrary.h"
#include "records/Records.h"
#include "window/Failure.h"

ClientChooser::ClientChooser(std::vector<std::unique_ptr<ClientBackend>> backends,
                             std::function<void(const QString&)> trace)
    : backends_(std::move(backends)), trace_(std::move(trace)), scratch_(records::kCapacity) {
    QStringList looked;
    for (const auto& backend : backends_) {
        candidates_.push_back({backend.get(), {}});
        looked << backend->name() + QLatin1Char(' ') + backend->endpoint();
        QObject::connect(backend.get(), &ClientBackend::traced, backend.get(),
                         [this](const QString& text) {
                             if (trace_) {
                                 trace_(text);
                             }
                         });
    }
    notFoundText_ = (QStringLiteral("No voice client found (looked for ") +
                     looked.join(QStringLiteral(", ")) + QLatin1Char(')'))
                        .toLocal8Bit();
    lastError_ = notFoundText_;
}

ClientChooser::~ClientChooser() = default;

void ClientChooser::startOnce() {
    if (started_) {
        return;
    }
    started_ = true;
    for (const auto& backend : backends_) {
        backend->start();
    }
}

int32_t ClientChooser::ask(ClientBackend& backend, int32_t* ids, int32_t* count) {
    try {
        return backend.library().tsrGetSpeakers(ids, count);
    } catch (const Failure&) {
        *count = 0;
        return kNotRunning; // no library to load: no client there
    }
}

int32_t ClientChooser::failed(int32_t code, QByteArray text) {
    ownError_ = true;
    lastError_ = std::move(text);
    return code;
}

void ClientChooser::use(ClientBackend* backend) {
    current_ = backend;
    currentTab_ = backend ? backend->tab() : 0;
    if (backend && trace_) {
        trace_(backend->name() + QLatin1Char(' ') + backend->endpoint());
    }
}

int32_t ClientChooser::tsrGetSpeakers(int32_t* ids, int32_t* count) {
    startOnce();
    const int32_t capacity = *count;
    int32_t state = kNotRunning;
    if (current_) {
        ownError_ = false;
        state = ask(*current_, ids, count);
        if (state != kNotRunning && current_->tab() != currentTab_) {
            // Another tab of the same client: running, not connected, once.
            currentTab_ = current_->tab();
            *count = 0;
            return failed(kNotConnected, "The client changed to another server tab");
        }
        if (state == 0) {
            return 0; // connected: nothing to look for
        }
    }

    // Not connected, or gone: look at the others, each at most every kLookIntervalMs.
    ClientBackend* connected = nullptr;
    ClientBackend* running = nullptr;
    for (Candidate& candidate : candidates_) {
        if (candidate.backend == current_ ||
            (candidate.lastLook.isValid() && candidate.lastLook.elapsed() < kLookIntervalMs)) {
            continue;
        }
        candidate.lastLook.start();
        int32_t n = int32_t(scratch_.size());
        const int32_t seen = ask(*candidate.backend, scratch_.data(), &n);
        if (seen == 0) {
            connected = candidate.backend;
            break;
        }
        if (seen != kNotRunning && running == nullptr) {
            running = candidate.backend;
        }
    }
    // A connected client is worth a move; a running one only when the one in use is gone.
    ClientBackend* next = connected ? connected : (state == kNotRunning ? running : nullptr);
    if (next) {
        const bool replacing = current_ != nullptr;
        use(next);
        if (replacing) {
            *count = 0;
            return failed(kNotRunning, "The client in use changed");
        }
        *count = capacity;
        ownError_ = false;
        return ask(*current_, ids, count);
    }
    if (state != kNotRunning) {
        return state; // the client in use runs; keep it until a connected one turns up
    }
    current_ = nullptr;
    *count = 0;
    return failed(kNotRunning, notFoundText_);
}

template <typename Call> int32_t ClientChooser::forward(Call call) {
    startOnce();
    if (!current_) {
        return failed(kNotRunning, notFoundText_);
    }
    ownError_ = false;
    return call(current_->library());
}

int32_t ClientChooser::tsrGetLastError(char* buffer, int32_t size) {
    if (ownError_ || !current_) {
        return copyErrorText(lastError_, buffer, size);
    }
    return current_->library().tsrGetLastError(buffer, size);
}

int32_t ClientChooser::tsrGetVersion(uint8_t* record) {
    return forward([&](RemoteLibrary& l) { return l.tsrGetVersion(record); });
}

int32_t ClientChooser::tsrGetUserInfo(uint8_t* record) {
    return forward([&](RemoteLibrary& l) { return l.tsrGetUserInfo(record); });
}

int32_t ClientChooser::tsrGetServerInfo(uint8_t* record) {
    return forward([&](RemoteLibrary& l) { return l.tsrGetServerInfo(record); });
}

int32_t ClientChooser::tsrGetPlayers(uint8_t* records, int32_t* count) {
    return forward([&](RemoteLibrary& l) { return l.tsrGetPlayers(records, count); });
}
