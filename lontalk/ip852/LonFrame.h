#pragma once
// The LonTalk frame (ISO/IEC 14908-1) inside an IP-852 data packet: layer 2 header and
// CRC-16, layer 3 addresses and domain, layer 4 TPDU/SPDU/AuthPDU header, and the APDU.

#include <QByteArray>

#include <array>
#include <cstdint>
#include <optional>

namespace ip852 {

// CRC-16/GENIBUS: polynomial 0x1021, init 0xFFFF, final XOR 0xFFFF, not reflected.
uint16_t crc16(const uint8_t *bytes, std::size_t length);
uint16_t crc16(const QByteArray &bytes);

enum class Pdu : uint8_t { Tpdu = 0, Spdu = 1, AuthPdu = 2, Apdu = 3 };
enum class AddressFormat : uint8_t { Broadcast = 0, Group = 1, SubnetNode = 2, NeuronId = 3 };

// TPDU types (bits 6-4 of the layer 4 byte).
enum TpduType : uint8_t { Ackd = 0, UnackdRpt = 1, Ack = 2, TReminder = 4, TRemMsg = 5 };
// SPDU types.
enum SpduType : uint8_t { Request = 0, Response = 2, SReminder = 4, SRemMsg = 5 };
// AuthPDU types (bits 5-4).
enum AuthType : uint8_t { Challenge = 0, ChallengeOma = 1, Reply = 2, ReplyOma = 3 };

using NeuronId = std::array<uint8_t, 6>;

struct LonAddress {
    AddressFormat format = AddressFormat::SubnetNode;
    uint8_t sourceSubnet = 0;
    uint8_t sourceNode = 0;         // 7 bits
    bool groupReply = false;        // form 2b: a group member's ACK/RESPONSE (source bit 7 = 0)
    uint8_t subnet = 0;             // destination subnet (broadcast: 0 = whole domain; Neuron ID: hint)
    uint8_t node = 0;               // destination node, 7 bits (2a, 2b)
    uint8_t group = 0;              // group (format 1) or the group of a 2b reply
    uint8_t member = 0;             // member number of a 2b reply
    NeuronId neuronId{};
};

struct LonFrame {
    // Layer 2
    bool priority = false;
    bool alternatePath = false;
    uint8_t backlog = 0;            // 6 bits
    // Layer 3
    Pdu pdu = Pdu::Apdu;
    LonAddress address;
    QByteArray domain;              // 0, 1, 3 or 6 bytes
    // Layer 4 (TPDU, SPDU, AuthPDU)
    bool authenticated = false;     // TPDU/SPDU bit 7
    uint8_t type = 0;               // TpduType / SpduType / AuthType
    uint8_t tid = 0;                // 4 bits
    uint8_t authFormat = 0;         // AuthPDU: address format of the message authenticated
    // REMINDER and REM/MSG: bitmap of the group members already heard (at most 8 bytes;
    // on the wire preceded by its length)
    QByteArray memberList;
    // APDU: code + data (ACK and REMINDER carry none; AuthPDU: the challenge/reply bytes)
    QByteArray apdu;

    uint8_t code() const { return apdu.isEmpty() ? 0 : uint8_t(apdu[0]); }
    QByteArray data() const { return apdu.mid(1); }
    bool hasTid() const { return pdu != Pdu::Apdu; }
    bool isReply() const;           // ACK or RESPONSE
    bool hasReminder() const;       // REMINDER or REM/MSG
};

enum class FrameError {
    None,
    Truncated,          // shorter than its own layout
    BadCrc,
    BadVersion,         // layer 3 version other than 0
    BadDomainLength,    // not reachable from the 2-bit code; kept for builders
    BadMemberList,      // REMINDER/REMMSG list longer than 8 bytes
    BadType,            // a TPDU/SPDU type that does not exist
    BadAddress,         // a 2b reply outside format 2, or a builder's address it cannot encode
};

const char *errorText(FrameError error);

// A frame with its two CRC bytes. Every byte read is bounds-checked.
std::optional<LonFrame> parseFrame(const QByteArray &bytes, FrameError *error = nullptr);

// The frame's bytes with the CRC appended (high byte first). A domain length other than
// 0, 1, 3 or 6 gives an empty array.
QByteArray buildFrame(const LonFrame &frame);

// Domain length code 0..3 <-> bytes 0/1/3/6; -1 when the length has no code.
int domainLengthCode(int bytes);
int domainLengthOf(int code);

} // namespace ip852
