#pragma once
// The configuration server of a standard (unicast) IP-852 channel: it adopts each member
// the channel file lists (device configuration until the member acknowledges it),
// answers registrations, keeps every member's channel routing and the channel membership
// (dateTimes newer than the last it gave out), sends a new membership to every member when
// a routing packet or the list changes, answers requests for the membership and for
// routing packets (in segments when they are large), and refuses anyone it does not list.
// No socket and no clock of its own: packets go through Io, time is given.

#include "lonsim/configserver/ChannelFile.h"
#include "lonsim/configserver/ServerState.h"

#include "lontalk/ip852/ConfigPackets.h"
#include "lontalk/ip852/Segments.h"

#include <functional>
#include <map>

namespace lonsim::configserver {

class ConfigServer {
public:
    struct Io {
        std::function<void(const QByteArray &packet, const ip852::Endpoint &to)> send;
        std::function<void(const QString &line)> trace;     // one line per packet in or out
        std::function<void()> stateChanged;                  // the state is worth saving
    };
    using DateTimeClock = std::function<uint32_t()>;

    ConfigServer(ChannelFile channel, ServerState state, Io io, DateTimeClock clock = {});

    // Adopts every member the channel file lists.
    void start(int64_t now);
    // A packet other than data (its digest checked) from `from`.
    void packet(const ip852::Packet &packet, const ip852::Endpoint &from, int64_t now);
    // Adoptions and segment requests due by now.
    void tick(int64_t now);
    // The channel file read again: members gone are dropped, new ones adopted, and every
    // member gets the new membership when it changed. The server's own address stays.
    void setChannel(const ChannelFile &channel, int64_t now);

    const ServerState &state() const { return m_state; }
    const ChannelFile &channel() const { return m_channel; }
    bool adopted(const ip852::Endpoint &member) const;
    // The membership as it is sent now.
    ip852::MembershipPacket membership() const;

    static constexpr int AdoptRepeatMs = 1000;
    static constexpr int AdoptSlowMs = 30000;
    static constexpr int AdoptFastTries = 10;
    static constexpr int RefreshMs = 30000;        // device configuration again to adopted members
    static constexpr uint16_t UnsolicitedRequestId = 100;

private:
    // A member is adopted once it acknowledges its device configuration; until its
    // routing is known it is then asked for that, on the same pace.
    struct Adoption {
        bool acknowledged = false;
        int tries = 0;
        int64_t next = 0;
    };
    using Key = std::pair<uint32_t, uint16_t>;
    static Key keyOf(const ip852::Endpoint &e) { return {e.ip, e.port}; }

    // Sends a packet of type and body to `to`: whole, or in segments (from segment
    // `from`, all or one) under requestId when it does not fit a datagram.
    void send(uint8_t type, const QByteArray &body, const ip852::Endpoint &to, uint16_t requestId = UnsolicitedRequestId,
              int fromSegment = 0, bool all = true, uint16_t vendor = 0);
    void respond(const ip852::Endpoint &to, uint8_t code, uint16_t requestId = 0, uint8_t segmentId = 0);
    void adopt(const ChannelMember &member, int64_t now);
    void acknowledged(const ip852::Endpoint &member, int64_t now);
    void askRouting(const ChannelMember &member, int64_t now);
    void routingReceived(const ip852::RoutingPacket &routing, const QByteArray &body, const ChannelMember &from,
                         int64_t now);
    void refresh(const ChannelMember &member, int64_t now);
    void requestReceived(const ip852::RequestPacket &request, const ChannelMember &from);
    void membershipChanged();
    void trace(const QString &line) const;
    uint32_t nextDateTime();
    uint32_t stamp() const;

    ChannelFile m_channel;
    ServerState m_state;
    Io m_io;
    DateTimeClock m_clock;
    std::map<Key, Adoption> m_adoptions;
    ip852::SegmentAssembler m_segments;
};

} // namespace lonsim::configserver
