#pragma once
// Every byte layout that crosses the driver library: the outgoing and received
// network-interface frames, the LonTalk message codes, the domain table entry, the
// read-only structure and the file-transfer packets. All decoding is bounded by the
// bytes actually given.

#include "lonworks/LonMessage.h"
#include "lonworks/LonRecords.h"

#include <QByteArray>

#include <memory>
#include <span>

namespace LonWire {

constexpr int HeaderLength = 17;       // NI header 2, message header 3, address 11, code 1
constexpr int MaxFrameLength = 255;
constexpr int MaxDataLength = MaxFrameLength - HeaderLength;  // 238
constexpr int ReadBufferSize = 1024;   // what ldv_read is given

// Address types of TniMessage::AddressType.
enum : quint8 {
    AddrSubnetNode = 0x01,
    AddrNeuronId = 0x02,
    AddrBroadcast = 0x03,
    AddrGroup = 0x80,
    AddrLocal = 0x7F,
};

// Network-interface commands and queues.
enum : quint8 {
    CmdNetwork = 1,
    CmdLocal = 2,
    QueueTransaction = 2,
    QueueResponse = 6,
    QueueIncoming = 8,
};

// LonTalk network-management and network-variable message codes.
enum : quint8 {
    CodeQueryId = 0x61,
    CodeRespondToQuery = 0x62,
    CodeUpdateDomain = 0x63,
    CodeQueryNvConfig = 0x68,
    CodeQueryDomain = 0x6A,
    CodeReadMemory = 0x6D,
    CodeQuerySnvt = 0x72,
    CodeNvFetch = 0x73,
    CodeNvUpdate = 0x80,   // plus the selector's high six bits
    CodeFilePacket = 0x3E,
};

// Byte 2 of a variable's configuration (query NV config): updates must be authenticated.
constexpr quint8 NvConfigAuthenticated = 0x10;

// A successful response carries the request code with bit 6 cleared.
constexpr quint8 SuccessCode(quint8 request) { return quint8(request & 0xBF); }

// The outgoing frame of a message whose Code and Tag are set: DataLength + 17 bytes
// (DataLength beyond MaxDataLength is cut to it).
QByteArray BuildFrame(const TniMessage &message);

// Parses a frame that ldv_read left in bytes (the rest of the read buffer zeroed). Reads
// never go past min(bytes[1] + 2, bytes.size()); ReceivedLength is bounded by that too.
std::unique_ptr<TniMessage> ParseFrame(std::span<const quint8> bytes);

// Domain table entry: 15 bytes answered by Query Domain, 16 sent by Update Domain.
constexpr int DomainAnswerLength = 15;
constexpr int DomainUpdateLength = 16;
bool DecodeDomainAnswer(std::span<const quint8> bytes, TniDomainTableEntry &entry);
std::array<quint8, DomainUpdateLength> EncodeDomainUpdate(quint8 index, const TniDomainTableEntry &entry);

// The 35-byte read-only structure at 0xF000; bytes past the end of the span read as 0.
constexpr int ReadOnlyLength = 35;
constexpr quint16 ReadOnlyAddress = 0xF000;
void DecodeReadOnly(std::span<const quint8> bytes, TniReadOnlyStructure &structure);
quint8 BufferCapacity(quint8 sizeCode);

// A file-transfer packet read raw from the driver library.
struct TFilePacket
{
    quint8 SourceNode = 0;
    quint8 Block = 0;
    quint8 Packet = 0;
    std::span<const quint8> Data;
};
// True when bytes hold an incoming file packet (queue 8, code 0x3E).
bool ParseFilePacket(std::span<const quint8> bytes, TFilePacket &packet);
// The 17-byte acknowledgement sent after packet 5 of a block.
constexpr int FileAckLength = 17;
std::array<quint8, FileAckLength> BuildFileAck(quint8 receivedTagByte, quint8 localSubnet,
                                              quint8 localNode, quint8 subnet, quint8 node,
                                              quint8 ackValue);

} // namespace LonWire
