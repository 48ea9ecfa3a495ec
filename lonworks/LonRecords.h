#pragma once
// TniDomainTableEntry (one domain of a network interface) and TniReadOnlyStructure (the
// decoded read-only structure of a Neuron-based device). Their byte layouts are in LonWire.h.

#include <QtGlobal>

#include <array>

class TniDomainTableEntry
{
public:
    std::array<quint8, 6> Id{};   // the first IdLength bytes are significant
    quint8 Subnet = 0;
    quint8 Node = 0;              // 7 bits
    quint8 IdLength = 0;          // 0, 1, 3 or 6
    std::array<quint8, 6> AuthKey{};
};

class TniReadOnlyStructure
{
public:
    std::array<quint8, 6> NeuronId{};
    quint8 ModelNumber = 0;
    quint8 ModelHighNibble = 0;
    quint8 MinorModel = 0;
    quint16 NvFixedAddress = 0;
    bool ReadWriteProtect = false;
    bool RunWhenUnconfigured = false;
    quint8 NvCount = 0;
    quint16 SnvtAddress = 0;      // 0xFFFF: self-documentation only through Query SNVT
    std::array<quint8, 8> ProgramId{};
    bool NvProcessingOff = false; // byte 21, bits 7, 6, 5, 3
    bool TwoDomains = false;
    bool ExplicitAddressing = false;
    bool Byte21Bit3 = false;
    quint8 Byte21Count = 0;       // byte 21, bits 2..0
    quint8 AddressCount = 0;      // byte 22, high nibble
    quint8 ReceiveTransCount = 0; // byte 23, low nibble
    std::array<quint8, 4> BufferSizeCodes{};   // app out, app in, net out, net in
    std::array<quint8, 6> BufferCountCodes{};  // bytes 26..28, high nibble then low
    bool Byte34Bit1 = false;
    bool Byte34Bit0 = false;
    std::array<quint8, 4> BufferCapacities{16, 16, 16, 16};
};
