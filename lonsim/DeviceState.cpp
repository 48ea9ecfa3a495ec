#include "lonsim/DeviceState.h"

#include "lonsim/DeviceImage.h"
#include "lonsim/Model.h"
#include "lonsim/ValueCodec.h"

#include <cmath>
#include <numbers>

namespace lonsim {

DeviceState::DeviceState(const Device &device)
    : m_model(&device), m_behaviour(device.behaviour), m_readOnly(readOnlyStructure(device)),
      m_selfDoc(selfDocumentation(device))
{
    int index = 0;
    for (int v = 0; v < device.variables.size(); ++v) {
        const NetworkVariable &nv = device.variables.at(v);
        for (int j = 0; j < nv.arrayCount; ++j, ++index) {
            NvSlot slot;
            slot.variable = v;
            slot.element = j;
            slot.value = nv.initial.value(j, QByteArray(nv.size, '\0'));
            slot.changing = nv.change.kind != ValueChange::None;
            slot.selector = nv.selector >= 0 ? ((nv.selector + j) & 0x3FFF) : (0x3FFF - index);
            m_slots.append(slot);
        }
    }
}

const ip852::ReceiveRecords::Record *DeviceState::repeated(const ip852::LonFrame &message, qint64 now)
{
    if (!m_model->duplicateDetection || !message.hasTid())
        return nullptr;
    m_records.expire(now);
    if (m_records.check(message, now, ip852::ReceiveRecords::lifetimeFor(message)) == ip852::ReceiveRecords::Verdict::New)
        return nullptr;
    ++m_counts.duplicates;
    return m_records.find(message, now);
}

void DeviceState::keepAnswer(const ip852::LonFrame &message, qint64 now, QByteArray answer)
{
    if (m_model->duplicateDetection && message.hasTid())
        m_records.keepAnswer(message, now, std::move(answer));
}

void DeviceState::setDropped(const AnswerFault &fault)
{
    m_behaviour.drop = fault;
    m_dropSeen = 0;
}

void DeviceState::setDoubled(const AnswerFault &fault)
{
    m_behaviour.doubled = fault;
    m_doubleSeen = 0;
}

void DeviceState::setMalformed(MalformKind kind, const AnswerFault &fault)
{
    m_behaviour.malformKind = kind;
    m_behaviour.malformed = fault;
    m_malformSeen = 0;
}

bool DeviceState::faultHits(Fault fault, int code)
{
    switch (fault) {
    case Fault::Drop:
        return lonsim::faultHits(m_behaviour.drop, code, m_dropSeen);
    case Fault::Double:
        return lonsim::faultHits(m_behaviour.doubled, code, m_doubleSeen);
    case Fault::Malform:
        return lonsim::faultHits(m_behaviour.malformed, code, m_malformSeen);
    }
    return false;
}

const DomainAddress *DeviceState::memberOf(const QByteArray &domainId) const
{
    for (const DomainAddress &d : m_model->domains)
        if (d.sameDomain(domainId))
            return &d;
    return nullptr;
}

NvSlot *DeviceState::slotBySelector(int selector)
{
    for (NvSlot &slot : m_slots)
        if (slot.selector == selector)
            return &slot;
    return nullptr;
}

QByteArray DeviceState::valueAt(const NvSlot &slot, qint64 t, double timeScale) const
{
    const ValueChange &c = variableOf(slot).change;
    if (!slot.changing || c.kind == ValueChange::None)
        return slot.value;
    const double period = std::max(1.0, c.periodMs * timeScale);
    const double phase = std::fmod(double(t), period) / period;
    double v = c.from;
    switch (c.kind) {
    case ValueChange::Ramp:
        v = c.from + (c.to - c.from) * phase;
        break;
    case ValueChange::Sine:
        v = (c.from + c.to) / 2 + (c.to - c.from) / 2 * std::sin(2 * std::numbers::pi * phase);
        break;
    case ValueChange::Toggle:
        v = phase < 0.5 ? c.from : c.to;
        break;
    case ValueChange::None:
        break;
    }
    QByteArray value = slot.value;
    writeField(value, c.offset, c.format, v);
    return value;
}

} // namespace lonsim
