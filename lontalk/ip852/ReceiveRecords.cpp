#include "lontalk/ip852/ReceiveRecords.h"

#include <algorithm>

namespace ip852 {

ReceiveRecords::Key ReceiveRecords::keyOf(const LonFrame &f)
{
    const LonAddress &a = f.address;
    uint64_t destination = 0;
    switch (a.format) {
    case AddressFormat::Broadcast:
        destination = a.subnet;
        break;
    case AddressFormat::Group:
        destination = a.group;
        break;
    case AddressFormat::SubnetNode:
        destination = (uint64_t(a.subnet) << 8) | a.node;
        break;
    case AddressFormat::NeuronId:
        for (uint8_t x : a.neuronId)
            destination = (destination << 8) | x;
        break;
    }
    return Key(a.sourceSubnet, a.sourceNode, uint8_t(a.format), 0, destination, f.priority, f.domain);
}

int ReceiveRecords::lifetimeFor(const LonFrame &frame, int receiveCode)
{
    return frame.address.format == AddressFormat::NeuronId ? NeuronIdReceiveMs : receiveTimerMs(receiveCode);
}

ReceiveRecords::Verdict ReceiveRecords::check(const LonFrame &frame, int64_t now, int lifetimeMs)
{
    const Key key = keyOf(frame);
    const auto it = m_records.find(key);
    if (it != m_records.end() && it->second.expires > now && it->second.tid == frame.tid
        && it->second.pdu == frame.pdu) {
        it->second.expires = now + lifetimeMs;
        return Verdict::Duplicate;
    }
    if (it == m_records.end() && m_records.size() >= MaxRecords) {
        m_nextSweep = 0;
        expire(now);
        if (m_records.size() >= MaxRecords)
            m_records.erase(std::min_element(m_records.begin(), m_records.end(), [](const auto &a, const auto &b) {
                return a.second.expires < b.second.expires;
            }));
    }
    m_records[key] = Record{frame.tid, frame.pdu, now + lifetimeMs, false, {}};
    return Verdict::New;
}

ReceiveRecords::Record *ReceiveRecords::find(const LonFrame &frame, int64_t now)
{
    const auto it = m_records.find(keyOf(frame));
    if (it == m_records.end() || it->second.expires <= now || it->second.tid != frame.tid)
        return nullptr;
    return &it->second;
}

void ReceiveRecords::keepAnswer(const LonFrame &frame, int64_t now, QByteArray answer)
{
    if (Record *record = find(frame, now)) {
        record->answered = true;
        record->answer = std::move(answer);
    }
}

void ReceiveRecords::expire(int64_t now)
{
    if (now < m_nextSweep && m_records.size() < MaxRecords)
        return;
    m_nextSweep = now + 1000;
    std::erase_if(m_records, [now](const auto &entry) { return entry.second.expires <= now; });
}

} // namespace ip852
