// Building an outgoing frame and parsing a received one, against the baseline of copying
// the same number of bytes into a fresh buffer of each kind.
#include "lonworks/LonTypes.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>

namespace {

TniMessage ReadMemoryRequest()
{
    TniMessage m;
    m.AddressType = LonWire::AddrSubnetNode;
    m.Subnet = 1;
    m.Node = 5;
    m.Code = LonWire::CodeReadMemory;
    m.Tag = 3;
    m.SetData(std::array<quint8, 4>{1, 0xF0, 0x00, 16});
    return m;
}

// A Read Memory answer with 16 bytes, as ldv_read leaves it in the read buffer.
std::array<quint8, LonWire::ReadBufferSize> Answer(int dataLength)
{
    std::array<quint8, LonWire::ReadBufferSize> b{};
    b[0] = 0x16;
    b[1] = quint8(15 + dataLength);
    b[2] = 3;
    b[3] = 0x01;
    b[4] = quint8(dataLength + 1);
    b[5] = 0x02;
    b[16] = 0x2D;
    for (int i = 0; i < dataLength; ++i)
        b[size_t(17 + i)] = quint8(i);
    return b;
}

void BM_BuildFrame(benchmark::State &state)
{
    TniMessage m = ReadMemoryRequest();
    m.DataLength = quint8(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(LonWire::BuildFrame(m));
    state.SetBytesProcessed(state.iterations() * (LonWire::HeaderLength + state.range(0)));
}
BENCHMARK(BM_BuildFrame)->Arg(4)->Arg(LonWire::MaxDataLength);

void BM_ParseFrame(benchmark::State &state)
{
    const auto bytes = Answer(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(LonWire::ParseFrame(bytes));
    state.SetBytesProcessed(state.iterations() * (LonWire::HeaderLength + state.range(0)));
}
BENCHMARK(BM_ParseFrame)->Arg(16)->Arg(LonWire::MaxDataLength);

// Baseline of BuildFrame: a QByteArray of the frame's size filled by memcpy.
void BM_BaselineByteArrayCopy(benchmark::State &state)
{
    const TniMessage m = ReadMemoryRequest();
    const int size = LonWire::HeaderLength + int(state.range(0));
    for (auto _ : state) {
        QByteArray frame(size, '\0');
        std::memcpy(frame.data() + LonWire::HeaderLength, m.Data.data(), size_t(state.range(0)));
        benchmark::DoNotOptimize(frame);
    }
}
BENCHMARK(BM_BaselineByteArrayCopy)->Arg(4)->Arg(LonWire::MaxDataLength);

// Baseline of ParseFrame: a fresh TniMessage (the parse's allocation) and a copy of the data.
void BM_BaselineMessageCopy(benchmark::State &state)
{
    const auto bytes = Answer(int(state.range(0)));
    for (auto _ : state) {
        auto m = std::make_unique<TniMessage>();
        std::memcpy(m->ReceivedData.data(), bytes.data() + LonWire::HeaderLength, size_t(state.range(0)));
        benchmark::DoNotOptimize(m);
    }
}
BENCHMARK(BM_BaselineMessageCopy)->Arg(16)->Arg(LonWire::MaxDataLength);

} // namespace
