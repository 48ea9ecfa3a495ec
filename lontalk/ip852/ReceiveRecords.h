#pragma once
// Duplicate detection of a LonTalk receiver: one record per (source, destination as
// addressed, priority, domain) holding the last TID, PDU format, the stored answer and
// its expiry.

#include "lontalk/ip852/LonFrame.h"
#include "lontalk/ip852/Timers.h"

#include <QByteArray>

#include <map>
#include <optional>
#include <tuple>

namespace ip852 {

class ReceiveRecords {
public:
    enum class Verdict {
        New,            // deliver it
        Duplicate,      // already delivered: resend the stored answer if there is one
    };

    struct Record {
        uint8_t tid = 0;
        Pdu pdu = Pdu::Tpdu;
        int64_t expires = 0;
        bool answered = false;  // an answer was sent and is kept for repeats
        QByteArray answer;      // what was sent (the ACK or RESPONSE, as its holder keeps it)
    };

    // Checks frame (a TPDU or SPDU message, not a reply) received at now; a new message
    // opens a record expiring after lifetimeMs, a duplicate restarts the record's timer.
    Verdict check(const LonFrame &frame, int64_t now, int lifetimeMs);
    // The record of frame, if alive: to store or fetch its answer.
    Record *find(const LonFrame &frame, int64_t now);
    // Keeps answer in the record of frame (if still alive) for its repeats.
    void keepAnswer(const LonFrame &frame, int64_t now, QByteArray answer);
    // Forgets the records expired by now: at most once a second, unless the records are full.
    void expire(int64_t now);
    std::size_t size() const { return m_records.size(); }
    // Records kept at most; a new message then takes the place of the record that expires
    // first.
    static constexpr std::size_t MaxRecords = 1024;

    // Record lifetime for a message by its address form: Neuron ID fixed, otherwise
    // the receive timer of the given code.
    static int lifetimeFor(const LonFrame &frame, int receiveCode = DefaultReceiveCode);

private:
    using Key = std::tuple<uint8_t, uint8_t, uint8_t, uint8_t, uint64_t, bool, QByteArray>;
    static Key keyOf(const LonFrame &frame);
    std::map<Key, Record> m_records;
    int64_t m_nextSweep = 0;
};

} // namespace ip852
