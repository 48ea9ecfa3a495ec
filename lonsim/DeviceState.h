#pragma once
// The running state of one simulated device: its variables' current values, the Query ID
// selection, its receive records, the counters the control channel publishes, and its
// (changeable) behaviour.

#include "lonsim/Model.h"

#include "lontalk/ip852/LonFrame.h"
#include "lontalk/ip852/ReceiveRecords.h"

#include <QByteArray>
#include <QList>

#include <span>

namespace lonsim {

struct DeviceCounters {
    int queryId = 0;
    int respondToQuery = 0;
    int readMemory = 0;
    int querySnvt = 0;
    int fetch = 0;
    int nvConfig = 0;
    int update = 0;
    int rejectedUpdate = 0;
    int failureAnswers = 0;
    int dropped = 0;
    int fileTransfers = 0;
    int other = 0;
    int duplicates = 0;     // repeats caught by a receive record
    int unauthenticated = 0;    // updates refused for want of authentication
    int challenges = 0;         // messages with the authentication bit challenged
};

// One NV index: an element of a variable.
struct NvSlot {
    int variable = 0;           // position in Device::variables
    int element = 0;
    QByteArray value;
    bool changing = false;      // the variable's value change still runs
    qint64 nextUnsolicited = -1;
    int selector = 0;
};

class DeviceState {
public:
    explicit DeviceState(const Device &device);

    // The device's description.
    const Device &model() const { return *m_model; }
    const NetworkVariable &variableOf(const NvSlot &slot) const { return m_model->variables.at(slot.variable); }
    const DomainAddress *memberOf(const QByteArray &domainId) const;
    // Its 35-byte read-only structure and its self-documentation, as its memory shows them.
    const QByteArray &readOnly() const { return m_readOnly; }
    const QByteArray &selfDoc() const { return m_selfDoc; }

    // The behaviour the description gave, as the control channel has changed it since.
    const Behaviour &behaviour() const { return m_behaviour; }
    void setSilent(bool silent) { m_behaviour.silent = silent; }
    void setDelay(int ms) { m_behaviour.delayMs = ms; }
    // A new fault starts counting its answers afresh.
    void setDropped(const AnswerFault &fault);
    void setDoubled(const AnswerFault &fault);
    void setMalformed(MalformKind kind, const AnswerFault &fault);
    // Whether the fault strikes this answer to a request with code (every n-th that it
    // applies to; each call counts one).
    enum class Fault { Drop, Double, Malform };
    bool faultHits(Fault fault, int code);

    // Selected by Query ID's Respond to Query.
    bool selected() const { return m_selected; }
    void setSelected(bool selected) { m_selected = selected; }

    // One slot per NV index, fixed by the description; their values change.
    std::span<NvSlot> slots() { return {m_slots.data(), std::size_t(m_slots.size())}; }
    std::span<const NvSlot> slots() const { return {m_slots.constData(), std::size_t(m_slots.size())}; }
    int slotCount() const { return int(m_slots.size()); }
    // The slot of NV index, nullptr when there is none.
    NvSlot *slotAt(int index) { return index >= 0 && index < m_slots.size() ? &m_slots[index] : nullptr; }
    const NvSlot *slotAt(int index) const
    {
        return index >= 0 && index < m_slots.size() ? &m_slots.at(index) : nullptr;
    }
    // The NV index of one of this device's slots.
    int indexOf(const NvSlot &slot) const { return int(&slot - m_slots.constData()); }
    NvSlot *slotBySelector(int selector);
    // The slot's value now, with a running value change applied (t in simulated ms).
    QByteArray valueAt(const NvSlot &slot, qint64 t, double timeScale) const;

    // What the device has answered and done, for the control channel.
    const DeviceCounters &counts() const { return m_counts; }
    void count(int DeviceCounters::*counter) { ++(m_counts.*counter); }
    void resetCounts() { m_counts = {}; }

    // Duplicate detection, as a LonTalk device does it for an acknowledged, repeated or
    // request message (one with a TID) heard at now: the record of the transaction that
    // message repeats within its receive timer (the timer restarts; the device executes
    // nothing and sends the record's answer again, if it has one), or nullptr when the
    // message is to be delivered. A device whose description turns detection off keeps
    // no records.
    const ip852::ReceiveRecords::Record *repeated(const ip852::LonFrame &message, qint64 now);
    // The answer sent to message (an ACK or RESPONSE, in the carrier's own form), kept
    // for its repeats.
    void keepAnswer(const ip852::LonFrame &message, qint64 now, QByteArray answer);

private:
    const Device *m_model = nullptr;
    Behaviour m_behaviour;
    bool m_selected = false;
    QList<NvSlot> m_slots;
    QByteArray m_readOnly;
    QByteArray m_selfDoc;
    DeviceCounters m_counts;
    int m_dropSeen = 0;
    int m_doubleSeen = 0;
    int m_malformSeen = 0;
    ip852::ReceiveRecords m_records;
};

} // namespace lonsim
