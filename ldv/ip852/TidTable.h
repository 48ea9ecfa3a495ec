#pragma once
// Transaction IDs of a LonTalk sender: a 4-bit space per priority (0 only for the first
// transaction after a start, then 1..15 wrapping to 1), and per destination the last TID
// used, so that a new transaction never repeats it while the receiver may still hold it.

#include "LonFrame.h"

#include <QByteArray>

#include <cstdint>
#include <map>

namespace ip852 {

class TidTable {
public:
    // startAt: the first TID to hand out (0..15); a random start keeps a restarted sender
    // clear of the receive records its previous run left behind.
    explicit TidTable(uint8_t startAt = 0);

    // The TID for a new transaction to destination (a key from destinationKey) at priority.
    uint8_t next(const QByteArray &destination, bool priority, int64_t now);
    // Marks the transaction finished at now: the destination's TID is kept for holdMs.
    void finished(const QByteArray &destination, bool priority, int64_t now, int holdMs);

    // The destination as addressed: format, domain, subnet/node, group, or Neuron ID.
    static QByteArray destinationKey(const LonFrame &frame);

private:
    struct Last {
        uint8_t tid = 0;
        int64_t until = 0;      // 0 while the transaction is open
    };
    uint8_t m_counter[2];
    bool m_fresh[2] = {true, true};
    std::map<std::pair<QByteArray, bool>, Last> m_last;
};

} // namespace ip852
