#pragma once
// The host's outgoing transactions on the channel: TIDs from the interface's table (shared
// with its other handles), one open transaction per destination and priority (later ones
// wait), retries on the transmit
// or repeat timer, acknowledgements and responses matched and counted, and one completion
// event per transaction.

#include "ldv/ipni/HostFrames.h"
#include "ldv/tids/InterfaceTids.h"
#include "lontalk/ip852/LonFrame.h"
#include "lontalk/ip852/TidTable.h"

#include <QByteArray>

#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <set>

namespace ldv::ni {

class Transactions {
public:
    struct Sink {
        std::function<void(const ip852::LonFrame &)> send;     // onto the channel
        std::function<void(const QByteArray &)> toHost;        // a frame for ldv_read
    };

    Transactions(Sink sink, std::shared_ptr<InterfaceTids> tids);

    // A host message turned into its LonTalk frame (address, domain, source, APDU set;
    // PDU, type, TID, backlog and path are filled in here).
    void submit(const HostMessage &message, const ip852::LonFrame &frame, int64_t now);
    // An ACK or RESPONSE received in the domain of our entry `domainIndex` whose subnet/node
    // are ours; false when no open transaction takes it (stale, late or extra).
    bool reply(const ip852::LonFrame &reply, int64_t now);
    // A CHALLENGE to one of our messages (sent with the authentication bit), addressed to
    // our subnet/node: the open transaction it belongs to (its frame, APDU included, and
    // the domain entry it was sent in), whose transmit timer starts again; nullopt when
    // none is open for it.
    struct Challenged {
        ip852::LonFrame message;
        uint8_t domainIndex = 0;
    };
    std::optional<Challenged> challenged(const ip852::LonFrame &challenge, int64_t now);
    // Retries, repetitions and expiries due by now.
    void tick(int64_t now);

    int open() const { return int(m_open.size()); }
    int waiting() const { return int(m_waiting.size()); }

private:
    struct Tx {
        HostMessage message;
        ip852::LonFrame frame;
        QByteArray destination;     // TidTable key
        int attemptsLeft = 0;       // transmissions still to make
        int intervalMs = 0;
        int64_t due = 0;
        int expected = 1;           // replies that complete it; 0 = unlimited group
        std::set<QByteArray> heard;
        QByteArray membersHeard;    // group: bitmap of member numbers that answered
    };
    void start(Tx tx, int64_t now);
    void transmit(Tx &tx, int64_t now);
    void complete(std::list<Tx>::iterator it, bool success, int64_t now);
    bool busy(const QByteArray &destination, bool priority) const;
    bool matches(const Tx &tx, const ip852::LonFrame &reply) const;
    // Whether an answer from `from` (its source address) may come from the destination of tx.
    static bool fromDestination(const Tx &tx, const ip852::LonAddress &from);

    Sink m_sink;
    std::shared_ptr<InterfaceTids> m_tids;
    std::list<Tx> m_open;
    std::deque<Tx> m_waiting;
};

} // namespace ldv::ni
