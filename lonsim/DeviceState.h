#pragma once
// The running state of one simulated device: its variables' current values, the Query ID
// selection, the counters the control channel publishes, and its (changeable) behaviour.

#include "Model.h"

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

    explicit DeviceState(const Device &device);
    const NetworkVariable &variableOf(const NvSlot &slot) const { return model->variables.at(slot.variable); }
    const DomainAddress *memberOf(const QByteArray &domainId) const;
    NvSlot *slotBySelector(int selector);
    // The slot's value now, with a running value change applied (t in simulated ms).
    QByteArray valueAt(const NvSlot &slot, qint64 t, double timeScale) const;
};

} // namespace lonsim
