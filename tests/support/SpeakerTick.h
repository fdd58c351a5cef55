#pragma once

#include "records/Records.h"
#include "teamspeak/RemoteLibrary.h"

#include <QTimer>

// The speakers read once, as the program's tick reads them: back-ends ask their clients then.
inline int32_t readSpeakers(RemoteLibrary& library) {
    int32_t ids[records::kCapacity];
    int32_t count = records::kCapacity;
    return library.tsrGetSpeakers(ids, &count);
}

// The program's 50 ms tick, reading the speakers while it runs.
class SpeakerTick {
public:
    explicit SpeakerTick(RemoteLibrary& library) {
        timer_.setInterval(50);
        QObject::connect(&timer_, &QTimer::timeout, [&library] { readSpeakers(library); });
    }
    void start() { timer_.start(); }
    void stop() { timer_.stop(); }

private:
    QTimer timer_;
};
