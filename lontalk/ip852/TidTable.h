#pragma once
// Transaction IDs of a LonTalk sender: a 4-bit space per priority (0 only for the first
// transaction after a start, then 1..15 wrapping to 1), and per destination (as
// addressed, from one source address, at one priority) the last TID used, so that a new
// transaction never repeats it while the receiver may still hold its receive record.

#include "lontalk/ip852/LonFrame.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <map>

namespace ip852 {

class TidTable {
public:
    // Destinations remembered at most; beyond it the one released longest ago is forgotten
    // (a receiver keeps its record 24.6 s at most, and no sender reaches that many
    // destinations within it).
    static constexpr int MaxDestinations = 4096;

    // What the table holds, to carry it over to a later run of the sender.
    struct Entry {
        QByteArray destination;     // a key from destinationKey
        bool priority = false;
        uint8_t tid = 0;
        int64_t until = 0;          // 0 while the transaction is open
    };
    struct Snapshot {
        uint8_t last[2] = {0, 0};   // the last TID given per priority (normal, priority)
        QList<Entry> entries;
    };

    // startAt: the first TID to hand out (0..15).
    explicit TidTable(uint8_t startAt = 0);
    // A table that goes on after `last` and keeps the snapshot's destinations.
    explicit TidTable(const Snapshot &snapshot);

    // The TID for a new transaction to destination (a key from destinationKey) at priority.
    uint8_t next(const QByteArray &destination, bool priority, int64_t now);
    // Marks the transaction that took tid finished at now: the destination keeps that TID
    // for holdMs, unless a newer transaction to it took another TID meanwhile.
    void finished(const QByteArray &destination, bool priority, uint8_t tid, int64_t now, int holdMs);

    // The destinations still held at now; open transactions count as held for holdMs.
    Snapshot snapshot(int64_t now, int holdMs) const;
    std::size_t size() const { return m_last.size(); }     // held or not, until room is needed

    // The destination as addressed, from the frame's source subnet/node: format, domain,
    // subnet/node, group, or Neuron ID.
    static QByteArray destinationKey(const LonFrame &frame);

private:
    struct Last {
        uint8_t tid = 0;
        int64_t until = 0;      // 0 while the transaction is open
    };
    // An open transaction's TID, or one released less than its hold ago.
    static bool held(const Last &last, int64_t now) { return last.until == 0 || last.until > now; }
    // Forgets released destinations, and the one released longest ago if none is.
    void makeRoom(int64_t now);

    uint8_t m_counter[2];
    bool m_fresh[2] = {true, true};
    std::map<std::pair<QByteArray, bool>, Last> m_last;
};

} // namespace ip852
