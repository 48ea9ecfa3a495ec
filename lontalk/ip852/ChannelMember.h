#pragma once
// A member of a standard (unicast) IP-852 channel run by a configuration server: it
// registers until the server sends its device configuration (and acknowledges that),
// sends its own channel routing until the server acknowledges it, follows the channel
// membership and asks for each other member's routing, answers the server's requests,
// puts segmented packets together and keeps the newer-dateTime-wins rule. The members
// whose routing it holds are its peers: where data goes and what data is taken from.
// No sockets and no clock of its own: packets in and out go through Io, time is given.

#include "lontalk/ip852/ConfigPackets.h"
#include "lontalk/ip852/Segments.h"

#include <QList>
#include <QString>

#include <functional>
#include <map>
#include <optional>

namespace ip852 {

struct MemberSettings {
    Endpoint self;              // the address and port this member is known by and sends from
    Endpoint server;            // the configuration server
    RoutingPacket routing;      // what this member wants to receive (its dateTime is set here)
    QByteArray name;            // in the registration
    QByteArray secret;          // MD5 secret of the channel, empty = none
};

// The pace of a member's request cycle: shortly after a change (time for the server's own
// answer to come first), then each second up to the tenth request, then every 30 s while
// something is still wanted.
struct MemberPace {
    int quickMs = 200;
    int repeatMs = 1000;
    int slowMs = 30000;
    int fastRepeats = 10;
};

class ChannelMember {
public:
    struct Io {
        std::function<void(const QByteArray &packet, const Endpoint &to)> send;
        std::function<void(const QString &line)> trace;     // one line per exchange (may be empty)
        std::function<void()> changed;                      // kept() changed (may be empty)
    };
    // What a member keeps from one run to the next (as a device keeps it across a power
    // cycle): its own routing with its dateTime, the membership and the other members'
    // routing, and the last dateTime it gave out. Made again with it (restore), a member
    // keeps an unchanged routing's dateTime, so the server has no news for the channel, and
    // reaches its peers at once, whether the server answers or not.
    struct Kept {
        RoutingPacket routing;
        std::optional<MembershipPacket> membership;
        QList<RoutingPacket> routes;
        uint32_t lastDateTime = 0;
    };
    // Seconds since 1900 now (the system's clock when empty).
    using DateTimeClock = std::function<uint32_t()>;

    ChannelMember(MemberSettings settings, Io io, DateTimeClock clock = {}, MemberPace pace = MemberPace());

    // Takes what a member at the same address kept (before start): what does not fit (a
    // routing of another address, routes of members the membership does not list) is left.
    void restore(const Kept &kept);
    Kept kept() const;
    // Starts registering with the server.
    void start(int64_t now);
    // A packet other than data (its digest checked) from `from`; false when it did not
    // come from the server (and was ignored).
    bool packet(const Packet &packet, const Endpoint &from, int64_t now);
    // Requests and segment requests due by now.
    void tick(int64_t now);
    // Own routing changed (the host updated a domain): it goes to the server again.
    void setRouting(const RoutingPacket &routing, int64_t now);

    // The other members whose routing is known.
    const QList<Endpoint> &peers() const { return m_peers; }
    // Whether the server's device configuration came, and nothing is wanted any more.
    bool registered() const { return m_registered; }
    bool settled() const { return m_registered && m_wants == 0; }
    // Whether it holds a membership and every listed member's routing (received, or kept
    // from the last run): where data goes is known.
    bool knowsChannel() const { return m_membership && m_wanted.isEmpty(); }
    const Endpoint &server() const { return m_settings.server; }
    // One line: registered or not, members listed, peers.
    QString state() const;

    static constexpr int MaxRequestsPerCycle = 50;
    static constexpr uint16_t RoutingRequestBase = 1000;    // request ID of member i's routing: base + i

private:
    enum Want : unsigned { WantConfiguration = 1, WantRoutingSent = 2, WantMembership = 4, WantRoutings = 8 };
    using Key = std::pair<uint32_t, uint16_t>;
    static Key keyOf(const Endpoint &e) { return {e.ip, e.port}; }

    void send(uint8_t type, const QByteArray &body, uint16_t vendor = 0);
    void sendRequest(RequestPacket request);
    void askMembership();
    void acknowledge(uint8_t code, uint16_t requestId = 0, uint8_t segmentId = 0);
    void sendRegistration(uint8_t type);
    void sendOwnRouting();
    void configurationReceived(const RegistrationPacket &configuration, int64_t now);
    void membershipReceived(const MembershipPacket &membership, int64_t now);
    void routingReceived(const RoutingPacket &routing, int64_t now);
    void responseReceived(const ResponsePacket &response, int64_t now);
    void requestReceived(const RequestPacket &request);
    void askRoutings();
    void cycle(int64_t now);
    // The next cycle shortly (a change to follow up), or after the repeat time (requests
    // just sent).
    void soon(int64_t now);
    void again(int64_t now);
    void updatePeers();
    // The members whose routing is missing or older than the membership says.
    void findWanted();
    void changed() const;
    const MembershipPacket::Member *entryOf(const Endpoint &e) const;
    uint32_t nextDateTime();
    uint32_t stamp() const;
    void trace(const QString &line) const;

    MemberSettings m_settings;
    Io m_io;
    DateTimeClock m_clock;
    MemberPace m_pace;
    unsigned m_wants = 0;
    int64_t m_nextCycle = -1;
    int m_repeats = 0;
    bool m_registered = false;
    bool m_serverHasRouting = false;    // the server acknowledged this routing (now or in a run kept)
    uint32_t m_lastDateTime = 0;
    std::optional<MembershipPacket> m_membership;
    std::map<Key, RoutingPacket> m_routes;
    QList<Endpoint> m_wanted;       // members whose routing is asked for
    int m_rejected = 0;             // routing packets refused by the dateTime rule since the membership
    QList<Endpoint> m_peers;
    SegmentAssembler m_segments;
};

} // namespace ip852
