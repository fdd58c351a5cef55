#pragma once

// The sound library as the engine uses it: device list, device creation, buffers from files.
// Implementations: OpenAL Soft with libsndfile, and a recording fake for tests.
class SoundSystem {
public:
    virtual ~SoundSystem() = default;
};
