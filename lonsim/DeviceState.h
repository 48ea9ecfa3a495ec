#pragma once
// The running state of one simulated device: its variables' current values, the Query ID
// selection, its receive records, the counters the control channel publishes, and its
// (changeable) behaviour.

#include "lonsim/Model.h"

#include "lontalk/ip852/LonFrame.h"
#include "lontalk/ip852/ReceiveRecords.h"

#include <QByteArray>
#include <QList>

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

struct DeviceState {
    const Device *model = nullptr;
    Behaviour behaviour;
    bool selected = false;
    QList<NvSlot> slots;
    QByteArray readOnly;
    QByteArray selfDoc;
    DeviceCounters counts;
    int dropSeen = 0;
    int doubleSeen = 0;
    int malformSeen = 0;
    ip852::ReceiveRecords records;

    explicit DeviceState(const Device &device);
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
    const NetworkVariable &variableOf(const NvSlot &slot) const { return model->variables.at(slot.variable); }
    const DomainAddress *memberOf(const QByteArray &domainId) const;
    NvSlot *slotBySelector(int selector);
    // The slot's value now, with a running value change applied (t in simulated ms).
    QByteArray valueAt(const NvSlot &slot, qint64 t, double timeScale) const;
};

} // namespace lonsim
