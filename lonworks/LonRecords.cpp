#include "lonworks/LonWire.h"

#include <algorithm>

namespace LonWire {

bool DecodeDomainAnswer(std::span<const quint8> b, TniDomainTableEntry &entry)
{
    if (b.size() < size_t(DomainAnswerLength))
        return false;
    std::copy_n(b.begin(), 6, entry.Id.begin());
    entry.Subnet = b[6];
    entry.Node = b[7] & 0x7F;
    entry.IdLength = b[8];
    std::copy_n(b.begin() + 9, 6, entry.AuthKey.begin());
    return true;
}

std::array<quint8, DomainUpdateLength> EncodeDomainUpdate(quint8 index, const TniDomainTableEntry &entry)
{
    std::array<quint8, DomainUpdateLength> d{};
    d[0] = index;
    std::copy(entry.Id.begin(), entry.Id.end(), d.begin() + 1);
    d[7] = entry.Subnet;
    d[8] = quint8(entry.Node | 0x80);
    d[9] = entry.IdLength;
    std::copy(entry.AuthKey.begin(), entry.AuthKey.end(), d.begin() + 10);
    return d;
}

quint8 BufferCapacity(quint8 sizeCode)
{
    static constexpr std::array<int, 16> sizes{255, 16, 20, 21, 22, 24, 26, 30,
                                               34, 42, 50, 66, 82, 114, 146, 210};
    return quint8(std::clamp(sizes[sizeCode & 0x0F] - 4, 16, 210));
}

void DecodeReadOnly(std::span<const quint8> bytes, TniReadOnlyStructure &s)
{
    std::array<quint8, ReadOnlyLength> b{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), b.size()), b.begin());

    std::copy_n(b.begin(), 6, s.NeuronId.begin());
    s.ModelNumber = b[6];
    s.ModelHighNibble = b[7] >> 4;
    s.MinorModel = b[7] & 0x0F;
    s.NvFixedAddress = quint16(b[8] << 8 | b[9]);
    s.ReadWriteProtect = b[10] & 0x80;
    s.RunWhenUnconfigured = b[10] & 0x40;
    s.NvCount = b[10] & 0x3F;
    s.SnvtAddress = quint16(b[11] << 8 | b[12]);
    std::copy_n(b.begin() + 13, 8, s.ProgramId.begin());
    s.NvProcessingOff = b[21] & 0x80;
    s.TwoDomains = b[21] & 0x40;
    s.ExplicitAddressing = b[21] & 0x20;
    s.Byte21Bit3 = b[21] & 0x08;
    s.Byte21Count = b[21] & 0x07;
    s.AddressCount = b[22] >> 4;
    s.ReceiveTransCount = b[23] & 0x0F;
    s.BufferSizeCodes = {quint8(b[24] >> 4), quint8(b[24] & 0x0F), quint8(b[25] >> 4), quint8(b[25] & 0x0F)};
    for (int i = 0; i < 3; ++i) {
        s.BufferCountCodes[size_t(2 * i)] = b[size_t(26 + i)] >> 4;
        s.BufferCountCodes[size_t(2 * i + 1)] = b[size_t(26 + i)] & 0x0F;
    }
    s.Byte34Bit1 = b[34] & 0x02;
    s.Byte34Bit0 = b[34] & 0x01;
    for (size_t i = 0; i < 4; ++i)
        s.BufferCapacities[i] = BufferCapacity(s.BufferSizeCodes[i]);
}

} // namespace LonWire
