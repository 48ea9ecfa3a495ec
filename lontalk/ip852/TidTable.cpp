#include "lontalk/ip852/TidTable.h"

#include <algorithm>

namespace ip852 {

TidTable::TidTable(uint8_t startAt) : m_counter{uint8_t(startAt & 0x0F), uint8_t(startAt & 0x0F)} {}

TidTable::TidTable(const Snapshot &snapshot)
    : m_counter{uint8_t(snapshot.last[0] & 0x0F), uint8_t(snapshot.last[1] & 0x0F)}, m_fresh{false, false}
{
    for (const Entry &e : snapshot.entries) {
        if (int(m_last.size()) >= MaxDestinations)
            break;
        m_last[{e.destination, e.priority}] = Last{uint8_t(e.tid & 0x0F), e.until};
    }
}

uint8_t TidTable::next(const QByteArray &destination, bool priority, int64_t now)
{
    const int p = priority ? 1 : 0;
    auto advance = [&] { m_counter[p] = uint8_t(m_counter[p] % 15 + 1); };
    if (m_fresh[p])
        m_fresh[p] = false;     // the first transaction takes the starting value as it is
    else
        advance();
    const std::pair<QByteArray, bool> key{destination, priority};
    auto it = m_last.find(key);
    if (it != m_last.end() && held(it->second, now) && it->second.tid == m_counter[p])
        advance();
    if (it == m_last.end()) {
        if (int(m_last.size()) >= MaxDestinations)
            makeRoom(now);
        it = m_last.emplace(key, Last{}).first;
    }
    it->second = Last{m_counter[p], 0};
    return m_counter[p];
}

void TidTable::makeRoom(int64_t now)
{
    std::erase_if(m_last, [now](const auto &entry) { return !held(entry.second, now); });
    if (int(m_last.size()) < MaxDestinations)
        return;
    auto oldest = m_last.end();
    for (auto it = m_last.begin(); it != m_last.end(); ++it)
        if (it->second.until != 0 && (oldest == m_last.end() || it->second.until < oldest->second.until))
            oldest = it;
    m_last.erase(oldest != m_last.end() ? oldest : m_last.begin());
}

void TidTable::finished(const QByteArray &destination, bool priority, uint8_t tid, int64_t now, int holdMs)
{
    const auto it = m_last.find({destination, priority});
    if (it != m_last.end() && it->second.tid == tid)
        it->second.until = now + std::max(1, holdMs);
}

TidTable::Snapshot TidTable::snapshot(int64_t now, int holdMs) const
{
    Snapshot s;
    s.last[0] = m_counter[0];
    s.last[1] = m_counter[1];
    for (const auto &[key, last] : m_last) {
        if (!held(last, now))
            continue;
        s.entries.append(Entry{key.first, key.second, last.tid, last.until ? last.until : now + holdMs});
    }
    return s;
}

QByteArray TidTable::destinationKey(const LonFrame &f)
{
    const LonAddress &a = f.address;
    QByteArray key;
    key.append(char(a.sourceSubnet)).append(char(a.sourceNode & 0x7F)).append(char(a.format));
    key.append(f.domain).append(char(f.domain.size()));
    switch (a.format) {
    case AddressFormat::Broadcast:
        key.append(char(a.subnet));
        break;
    case AddressFormat::Group:
        key.append(char(a.group));
        break;
    case AddressFormat::SubnetNode:
        key.append(char(a.subnet)).append(char(a.node));
        break;
    case AddressFormat::NeuronId:
        key.append(reinterpret_cast<const char *>(a.neuronId.data()), 6);
        break;
    }
    return key;
}

} // namespace ip852
