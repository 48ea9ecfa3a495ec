#pragma once
// The configuration packets of a standard (unicast) IP-852 channel, exchanged between a
// member and the channel's configuration server: device registration and configuration,
// channel membership, send list, response (acknowledgement), channel routing, the
// requests for them and segments of large ones. Bodies only: the common header is
// Packet's. Every field is big-endian; every read is bounds-checked.

#include "lontalk/ip852/LonFrame.h"
#include "lontalk/ip852/Packet.h"
#include "lontalk/ip852/UdpPort.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace ip852 {

// Configuration packets count time in seconds since 1900-01-01 ("dateTime"); newer wins.
constexpr uint32_t Unix1900Offset = 2208988800u;
uint32_t dateTimeOfUnix(int64_t unixSeconds);

constexpr int MaxMembers = 256;         // entries of a channel membership a member takes
constexpr int MaxNameBytes = 128;       // a registration's name, without its NUL
constexpr uint16_t VendorEchelon = 1;   // header vendor code of the extended routing request
constexpr uint16_t DefaultConfigServerPort = 1629;   // where a configuration server listens

enum ResponseCode : uint8_t { RespOk = 0, RespFixed = 1, RespBadMessage = 2, RespCannotComply = 3, RespRefused = 4,
                              RespUnsupported = 5 };
enum RouterType : uint8_t { RouterConfigured = 0, RouterLearning = 1, RouterBridge = 2, RouterRepeater = 3 };
enum RequestReason : uint8_t { ReasonVerify = 1, ReasonAll = 4, ReasonMove = 8 };

// 0x03 device registration (member to server) and 0x71 device configuration (server to
// member, or a member's answer to 0x63): the same body.
struct RegistrationPacket {
    uint32_t dateTime = 0;
    uint8_t ipFlags = 1;                // 1 UDP
    uint8_t routerType = RouterConfigured;
    uint8_t lonTalkFlags = 0;           // 1 wants all broadcasts, 2 supports MD5
    uint8_t nodeType = 1;
    uint16_t channelTimeoutMs = 0;
    Endpoint unicast;                   // the member's own address and port
    uint32_t membershipDateTime = 0;    // of the channel membership the sender holds
    uint32_t sendListDateTime = 0;
    Endpoint server;                    // the configuration server
    Endpoint timeServer;
    Endpoint timeServer2;
    QList<Endpoint> multicast;
    QList<NeuronId> neuronIds;
    QByteArray name;                    // without the NUL
    bool operator==(const RegistrationPacket &) const = default;
};

// 0x04 channel membership: every member and the date of its routing packet.
struct MembershipPacket {
    struct Member {
        Endpoint endpoint;
        uint32_t routingDateTime = 0;   // 0: any routing packet of it is taken
        bool operator==(const Member &) const = default;
    };
    uint32_t dateTime = 0;
    uint32_t sendListDateTime = 0;
    QList<Member> members;
    bool operator==(const MembershipPacket &) const = default;
};

// 0x06 send list.
struct SendListPacket {
    uint32_t dateTime = 0;
    QList<Endpoint> members;
    bool operator==(const SendListPacket &) const = default;
};

// 0x07 response: the acknowledgement (code 0) or refusal of a packet or request.
struct ResponsePacket {
    uint32_t dateTime = 0;
    uint8_t code = RespOk;
    uint16_t requestId = 0;
    uint8_t segmentId = 0;
    bool operator==(const ResponsePacket &) const = default;
};

// 0x08 channel routing: what a member wants to receive.
struct RoutingPacket {
    struct SubnetNode {
        uint8_t subnet = 0;
        uint8_t node = 0;
        uint16_t domainIndex = 0;
        uint16_t neuronIdIndex = 0;
        bool operator==(const SubnetNode &) const = default;
    };
    struct Domain {
        std::array<uint8_t, 32> subnets{};  // bit n%8 of byte n/8: subnet n is wanted
        std::array<uint8_t, 32> groups{};
        QByteArray id;                      // 0, 1, 3 or 6 bytes
        bool operator==(const Domain &) const = default;
        // Every subnet and group of the domain: what a repeater asks for.
        static Domain whole(const QByteArray &id)
        {
            Domain d;
            d.subnets.fill(0xFF);
            d.groups.fill(0xFF);
            d.id = id;
            return d;
        }
    };
    uint32_t dateTime = 0;
    Endpoint multicast;
    Endpoint unicast;
    uint8_t ipFlags = 1;
    uint8_t routerType = RouterConfigured;
    uint8_t lonTalkFlags = 0;
    uint8_t nodeType = 1;
    QList<NeuronId> neuronIds;
    QList<SubnetNode> subnetNodes;
    QList<Domain> domains;
    bool operator==(const RoutingPacket &) const = default;
};

// 0x60 / 0x63 / 0x64 / 0x66 / 0x68: a request for statistics, the device configuration,
// the membership, the send list or a member's routing.
struct RequestPacket {
    uint8_t type = MembershipRequest;
    uint32_t dateTime = 0;
    uint8_t reason = 0;
    uint16_t requestId = 0;
    uint8_t segmentId = 0;
    uint32_t since = 0;
    uint32_t ip = 0;                    // the member whose routing is wanted (0x68)
    std::optional<uint16_t> port;       // vendor-1 extended 0x68: the member's port too
    bool operator==(const RequestPacket &) const = default;
};

// 0x7F: one chunk of a configuration packet too large for a datagram.
struct SegmentPacket {
    static constexpr uint8_t Valid = 0x80, Final = 0x40;
    uint32_t dateTime = 0;              // of the packet cut up
    uint8_t flags = Valid;
    uint16_t requestId = 0;
    uint8_t segmentId = 0;
    QByteArray chunk;                   // part of the whole packet, its own header included
    bool valid() const { return flags & Valid; }
    bool final() const { return flags & Final; }
    bool operator==(const SegmentPacket &) const = default;
};

bool isRequest(uint8_t type);

// Decoders take a packet's body (after the header and its extension); nullopt when the
// body is shorter than its own counts say or a count is out of bounds.
std::optional<RegistrationPacket> decodeRegistration(const QByteArray &body);
std::optional<MembershipPacket> decodeMembership(const QByteArray &body);
std::optional<SendListPacket> decodeSendList(const QByteArray &body);
std::optional<ResponsePacket> decodeResponse(const QByteArray &body);
std::optional<RoutingPacket> decodeRouting(const QByteArray &body);
// vendorExtended: the packet's header carries the vendor code 1 (a 0x68 with the port).
std::optional<RequestPacket> decodeRequest(uint8_t type, const QByteArray &body, bool vendorExtended = false);
std::optional<SegmentPacket> decodeSegment(const QByteArray &body);

QByteArray encode(const RegistrationPacket &packet);
QByteArray encode(const MembershipPacket &packet);
QByteArray encode(const SendListPacket &packet);
QByteArray encode(const ResponsePacket &packet);
QByteArray encode(const RoutingPacket &packet);
QByteArray encode(const RequestPacket &packet);
QByteArray encode(const SegmentPacket &packet);

// A whole configuration packet: header (session, sequence and timestamp 0) and body,
// with the MD5 digest when secret is set. The vendor-1 extended request gets vendor 1.
QByteArray buildConfigPacket(uint8_t type, const QByteArray &body, const QByteArray &secret = {}, uint16_t vendor = 0);
QByteArray buildRequestPacket(const RequestPacket &request, const QByteArray &secret = {});

// The packet's name and its main fields in one line, for traces (no secret in it).
QString describeConfigPacket(const Packet &packet);
const char *configTypeName(uint8_t type);

} // namespace ip852
