// The six operations of one tick answered from a client back-end's snapshot: a full server of
// 1024 players, all of them talking, as the program's refresh asks for them.

#include "clients/SnapshotLibrary.h"

#include <benchmark/benchmark.h>
#include <vector>

namespace {

void SixOperationsFromASnapshot(benchmark::State& state) {
    ClientSnapshot s;
    s.running = true;
    s.connected = true;
    s.clientVersion = {3, 6, 2, 1695203293};
    s.server.name = "Soak";
    s.server.address = "127.0.0.1:9987";
    for (int32_t i = 0; i < records::kCapacity; ++i) {
        s.players.push_back({1000 + i, 1, "PLAYER" + QByteArray::number(i), 0, 0, 0});
        s.speakers.push_back(1000 + i);
    }
    s.self = s.players.front();
    SnapshotLibrary library(s);

    std::vector<uint8_t> rows(size_t(records::kCapacity) * records::player::kSize);
    std::vector<int32_t> ids(records::kCapacity);
    uint8_t version[records::version::kSize];
    uint8_t user[records::userInfo::kSize];
    uint8_t server[records::serverInfo::kSize];
    char error[records::kErrorTextSize];
    for (auto _ : state) {
        int32_t players = records::kCapacity;
        int32_t speakers = records::kCapacity;
        benchmark::DoNotOptimize(library.tsrGetPlayers(rows.data(), &players));
        benchmark::DoNotOptimize(library.tsrGetSpeakers(ids.data(), &speakers));
        benchmark::DoNotOptimize(library.tsrGetVersion(version));
        benchmark::DoNotOptimize(library.tsrGetUserInfo(user));
        benchmark::DoNotOptimize(library.tsrGetServerInfo(server));
        benchmark::DoNotOptimize(library.tsrGetLastError(error, sizeof(error)));
        benchmark::ClobberMemory();
        if (players != records::kCapacity || speakers != records::kCapacity) {
            state.SkipWithError("the snapshot did not give the full server");
            break;
        }
    }
}
BENCHMARK(SixOperationsFromASnapshot)->Unit(benchmark::kMicrosecond);

} // namespace
