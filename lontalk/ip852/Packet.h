#pragma once
// IP-852 (CEA-852) packets: the 20-byte common header, data packets carrying one LonTalk
// frame, several packets per UDP datagram, and the optional MD5 digest of each packet.

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace ip852 {

constexpr int HeaderLength = 20;
constexpr int DigestLength = 16;
constexpr int MaxDatagram = 548;        // UDP payload a sender puts in one datagram
constexpr int ReceiveBuffer = 576;      // what a receiver must be ready to take
constexpr uint16_t DefaultPort = 1628;
constexpr const char *DefaultGroup = "239.192.84.76";

enum PacketType : uint8_t {
    DataPacket = 0x01,
    DeviceRegistration = 0x03,
    ChannelMembership = 0x04,
    SendList = 0x06,
    ConfigResponse = 0x07,
    ChannelRouting = 0x08,
    StatisticsRequest = 0x60,
    DeviceConfigRequest = 0x63,
    MembershipRequest = 0x64,
    SendListRequest = 0x66,
    RoutingRequest = 0x68,
    DeviceConfiguration = 0x71,
    Statistics = 0x70,
    Segment = 0x7F,
};

constexpr uint8_t FlagAuthenticated = 0x20;     // protocol flags: an MD5 digest follows
constexpr uint8_t ProtocolLonTalk = 0;          // protocol flags bits 0-4

struct Header {
    uint16_t size = HeaderLength;       // header + body, without the digest
    uint8_t version = 1;                // low five bits; bit 7 = vendor data follows
    uint8_t type = DataPacket;
    uint8_t extensionWords = 0;         // extended header, in 4-byte words
    uint8_t protocolFlags = 0;
    uint16_t vendor = 0;
    uint32_t session = 0;
    uint32_t sequence = 0;
    uint32_t timestamp = 0;

    uint8_t protocol() const { return protocolFlags & 0x1F; }
    bool authenticated() const { return protocolFlags & FlagAuthenticated; }
};

struct Packet {
    Header header;
    QByteArray body;                    // after the extended header; a data packet's LonTalk frame
};

enum class PacketError {
    None,
    Truncated,          // fewer bytes than a header, or than the packet size claims
    BadSize,            // packet size below the header plus its extended header
    BadVersion,         // version not 0 or 1, or reserved bits set
    Unauthenticated,    // a secret is configured and the packet carries no digest
    BadDigest,          // the digest does not match (or no secret to check it with)
};

const char *errorText(PacketError error);

// The packets of one datagram, in order. Walking stops at the first packet that does not
// parse (its error is kept); packets before it are still returned. With a secret (16
// bytes; empty = none), every packet must carry a matching digest.
struct DatagramParse {
    QList<Packet> packets;
    PacketError error = PacketError::None;
    int rejected = 0;   // packets skipped because of their digest
};
DatagramParse parseDatagram(const QByteArray &datagram, const QByteArray &secret = {});

// One packet, header first, with the digest appended when secret is not empty. The
// header's size and authentication flag are set from body and secret.
QByteArray buildPacket(Header header, const QByteArray &body, const QByteArray &secret = {});

// A data packet around one LonTalk frame (CRC included): timestamp 0.
QByteArray buildDataPacket(uint32_t session, uint32_t sequence, const QByteArray &frame,
                           const QByteArray &secret = {});

// MD5(packet ‖ 16 zero bytes ‖ secret): the digest of one packet of `size` bytes.
QByteArray digest(const char *packet, int size, const QByteArray &secret);

// A secret from its configured text: 32 hex digits (16 bytes), or up to 16 characters
// taken as bytes and padded with zeros. nullopt when it is neither.
std::optional<QByteArray> secretFromText(const QString &text);

// A session ID that differs from the one of the previous start of this process or any
// other: clock and random bits mixed, never 0.
uint32_t newSessionId();

// Packs packets into datagrams of at most MaxDatagram bytes, in order.
class DatagramPacker {
public:
    // False when the packet alone exceeds MaxDatagram (it is not taken).
    bool add(const QByteArray &packet);
    bool empty() const { return m_done.isEmpty() && m_current.isEmpty(); }
    QList<QByteArray> take();

private:
    QList<QByteArray> m_done;
    QByteArray m_current;
};

} // namespace ip852
