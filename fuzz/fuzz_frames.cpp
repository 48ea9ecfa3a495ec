// Received frames: any bytes as ldv_read leaves them, through the frame parse and the
// record decoders; a parsed message rebuilt as a frame parses back to the same code,
// tag and data.
#include "fuzz/FuzzCommon.h"
#include "lonworks/LonTypes.h"

#include <algorithm>
#include <array>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Exactly the bytes given, however short: the parse must not assume the zeroed read buffer.
    const std::vector<quint8> exact(data, data + size);
    {
        const auto m = LonWire::ParseFrame(exact);
        LW_FUZZ_CHECK(m != nullptr);
        const size_t available = size >= 2 ? std::min<size_t>(size, size_t(data[1]) + 2) : size;
        LW_FUZZ_CHECK(m->ReceivedLength + size_t(LonWire::HeaderLength) <= std::max<size_t>(available, LonWire::HeaderLength));
        LW_FUZZ_CHECK(m->ReceivedLength == 0
                      || std::equal(m->Received().begin(), m->Received().end(), data + LonWire::HeaderLength));
    }

    // As ReadMessage hands it over: the read buffer, the rest zeroed.
    std::array<quint8, LonWire::ReadBufferSize> buffer{};
    std::copy_n(data, std::min(size, buffer.size()), buffer.begin());
    const auto padded = LonWire::ParseFrame(buffer);

    TniMessage out = *padded;
    out.SetData(padded->Received());
    out.DataLength = padded->ReceivedLength;
    const QByteArray frame = LonWire::BuildFrame(out);
    LW_FUZZ_CHECK(frame.size() == LonWire::HeaderLength + std::min<int>(out.DataLength, LonWire::MaxDataLength));
    const auto back = LonWire::ParseFrame(std::span<const quint8>(
        reinterpret_cast<const quint8 *>(frame.constData()), size_t(frame.size())));
    LW_FUZZ_CHECK(back->Code == out.Code);
    LW_FUZZ_CHECK(back->Tag == (out.Tag & 0x0F));
    LW_FUZZ_CHECK(back->ReceivedLength == frame.size() - LonWire::HeaderLength);
    LW_FUZZ_CHECK(std::equal(back->Received().begin(), back->Received().end(), out.Data.begin()));

    // The records carried in answers.
    TniDomainTableEntry entry;
    if (LonWire::DecodeDomainAnswer(padded->Received(), entry))
        LW_FUZZ_CHECK(entry.Node < 0x80);
    TniReadOnlyStructure structure;
    LonWire::DecodeReadOnly(exact, structure);
    for (const quint8 capacity : structure.BufferCapacities)
        LW_FUZZ_CHECK(capacity >= 16 && capacity <= 210);
    return 0;
}
