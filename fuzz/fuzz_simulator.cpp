// The simulated network's frame handling: any sequence of frames written to the
// project's libldv32.so with ldv_write, each followed by ldv_read until nothing is left.
#include "fuzz/FuzzCommon.h"
#include "lonworks/LDV32.h"

#include <array>
#include <vector>

namespace {

// Frames read after one write; a network that keeps talking past this is a fault.
constexpr int MaxReadsPerWrite = 10000;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("LDV32_LIBRARY", LDV32_SIMULATOR_PATH, 1);
    setenv("LONSIM_PATH", LDV32_SIMULATOR_NETWORKS, 1);
    if (!LDV32::Load()) {
        std::fprintf(stderr, "cannot load %s: %s\n", LDV32_SIMULATOR_PATH,
                     qPrintable(LDV32::ErrorText()));
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    qint16 handle = -1;
    if (LDV32::Open("LON1", handle) != 0)
        std::abort();

    while (in.remaining_bytes() > 0) {
        const quint8 kind = in.ConsumeIntegral<quint8>();
        std::vector<quint8> frame = in.ConsumeBytes<quint8>(in.ConsumeIntegralInRange<size_t>(0, 300));
        // Half the frames get consistent length bytes, so they reach the message handling.
        if ((kind & 1) && frame.size() >= 17) {
            frame[1] = quint8(std::min<size_t>(frame.size() - 2, 255));
            frame[4] = quint8(std::min<size_t>(frame.size() - 16, 255));
        }
        const qint16 length = qint16(kind & 2 ? frame.size() : in.ConsumeIntegralInRange<int>(-4, 300));
        if (length > qint16(frame.size()))
            frame.resize(size_t(length), 0);
        LDV32::Write(handle, frame.data(), length);

        std::array<quint8, 1024> buffer{};
        int reads = 0;
        while (LDV32::Read(handle, buffer.data(), qint16(buffer.size())) == 0)
            LW_FUZZ_CHECK(++reads < MaxReadsPerWrite);
    }
    LDV32::Close(handle);
    return 0;
}
