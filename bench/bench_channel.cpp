// The round trip of one NV fetch (request, response, completion event) through the C
// entries of libldv32: against the in-process simulator (LON1), and over a loopback
// IP-852 unicast channel served by lonsim-channel (the baseline is the in-process one).
#include "LoopbackChannel.h"
#include "ldv/ldv32.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <array>
#include <memory>

namespace {

// Fetch of RoomController's variable 1 (subnet 1, node 10, domain 0), request service.
const std::array<unsigned char, 18> Fetch{0x12, 0x10, 0x61, 0x00, 0x02, 0x01, 0x0A, 0x03, 0x0A,
                                          0x01, 0,    0,    0,    0,    0,    0,    0x73, 0x01};

// Writes the fetch and reads until its completion event; false on failure or time-out.
bool RoundTrip(short handle)
{
    if (ldv_write(handle, Fetch.data(), short(Fetch.size())) != LDV_OK)
        return false;
    std::array<unsigned char, 257> buffer{};
    for (long polls = 0; polls < 50'000'000; ++polls) {
        if (ldv_read(handle, buffer.data(), short(buffer.size())) != LDV_OK)
            continue;
        if ((buffer[0] & 0xF0) == 0x10 && (buffer[0] & 0x0F) == 2)
            return (buffer[3] & 0x30) == 0x10;
    }
    return false;
}

void Measure(benchmark::State &state, const char *name)
{
    short handle = 0;
    if (ldv_open(name, &handle) != LDV_OK) {
        state.SkipWithError("ldv_open failed");
        return;
    }
    for (auto _ : state)
        if (!RoundTrip(handle)) {
            state.SkipWithError("fetch failed");
            break;
        }
    ldv_close(handle);
}

void BM_FetchInProcess(benchmark::State &state)
{
    Measure(state, "LON1");
}

// lonsim-channel on 127.0.0.1 serving LON1, and an interfaces file naming it LONIP.
struct Channel {
    QTemporaryDir dir;
    TLoopbackChannel server;
    bool ready = server.Start(QStringLiteral(LW_CHANNEL_PROGRAM), QStringLiteral("LON1"), dir);
};

void BM_FetchOverChannel(benchmark::State &state)
{
    static const auto channel = std::make_unique<Channel>();
    if (!channel->ready) {
        state.SkipWithError("lonsim-channel did not start");
        return;
    }
    Measure(state, "LONIP");
}

} // namespace

BENCHMARK(BM_FetchInProcess)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FetchOverChannel)->Unit(benchmark::kMicrosecond);
