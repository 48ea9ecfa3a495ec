// File-transfer frames: the packet parse on any bytes, and whole transfers in which the
// device sends any sequence of frames (well-formed packets in any order, foreign nodes,
// raw garbage) before the frame that ends the transfer.
#include "fuzz/FakeDriver.h"
#include "fuzz/FuzzCommon.h"
#include "lonworks/LonLib.h"

#include <vector>

namespace {

constexpr quint8 DeviceSubnet = 1;
constexpr quint8 DeviceNode = 5;

// A well-formed incoming file packet from node with the sequence byte and data given.
std::vector<quint8> FilePacket(quint8 node, quint8 sequence, const std::vector<quint8> &bytes)
{
    const size_t n = std::min<size_t>(bytes.size(), 200);
    std::vector<quint8> f(18 + n, 0);
    f[0] = 0x18;
    f[1] = quint8(16 + n);
    f[4] = quint8(n + 2);
    f[5] = 0x02;
    f[6] = DeviceSubnet;
    f[7] = quint8(node | 0x80);
    f[16] = LonWire::CodeFilePacket;
    f[17] = sequence;
    std::copy_n(bytes.begin(), n, f.begin() + 18);
    return f;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    LoadFakeDriver();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The packet parse on the input as one frame.
    LonWire::TFilePacket packet;
    const std::span<const quint8> whole(data, size);
    if (LonWire::ParseFilePacket(whole, packet)) {
        LW_FUZZ_CHECK(packet.Data.data() >= data + LonWire::HeaderLength + 1);
        LW_FUZZ_CHECK(packet.Data.data() + packet.Data.size() <= data + size);
    }

    FuzzedDataProvider in(data, size);
    fakeldv_reset();
    fakeldv_set_device(DeviceSubnet, DeviceNode);
    const size_t capacity = in.ConsumeIntegralInRange<size_t>(0, 1024);
    while (in.remaining_bytes() > 0) {
        const quint8 kind = in.ConsumeIntegral<quint8>();
        std::vector<quint8> bytes = in.ConsumeBytes<quint8>(in.ConsumeIntegralInRange<size_t>(0, 64));
        if (kind & 1) {
            fakeldv_add_file_frame(bytes.data(), bytes.size());
        } else {
            const quint8 node = (kind & 2) ? DeviceNode : quint8(kind >> 2);
            const quint8 sequence = bytes.empty() ? 0 : bytes.front();
            if (!bytes.empty())
                bytes.erase(bytes.begin());
            // Full packets carry 32 bytes; a shorter one ends the transfer.
            if (kind & 4)
                bytes.resize(32, 0xA5);
            const auto frame = FilePacket(node, sequence, bytes);
            fakeldv_add_file_frame(frame.data(), frame.size());
        }
    }

    TniNetworkInterface ni = OpenFakeInterface();
    std::vector<quint8> buffer(capacity + 16, 0xEE);   // 16 guard bytes past the capacity
    const int stored = ReadFile(ni, 0, DeviceSubnet, DeviceNode, 3, 7,
                                std::span<quint8>(buffer.data(), capacity));
    LW_FUZZ_CHECK(stored >= 0 && size_t(stored) <= capacity);
    for (size_t i = capacity; i < buffer.size(); ++i)
        LW_FUZZ_CHECK(buffer[i] == 0xEE);
    return 0;
}
