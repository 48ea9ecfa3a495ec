#include "TidTable.h"

namespace ip852 {

TidTable::TidTable(uint8_t startAt) : m_counter{uint8_t(startAt & 0x0F), uint8_t(startAt & 0x0F)} {}

uint8_t TidTable::next(const QByteArray &destination, bool priority, int64_t now)
{
    const int p = priority ? 1 : 0;
    std::erase_if(m_last, [now](const auto &entry) { return entry.second.until != 0 && entry.second.until <= now; });
    auto advance = [&] { m_counter[p] = uint8_t(m_counter[p] % 15 + 1); };
    if (m_fresh[p])
        m_fresh[p] = false;     // the first transaction takes the starting value as it is
    else
        advance();
    const auto it = m_last.find({destination, priority});
    if (it != m_last.end() && it->second.tid == m_counter[p])
        advance();
    m_last[{destination, priority}] = Last{m_counter[p], 0};
    return m_counter[p];
}

void TidTable::finished(const QByteArray &destination, bool priority, int64_t now, int holdMs)
{
    const auto it = m_last.find({destination, priority});
    if (it != m_last.end())
        it->second.until = now + std::max(1, holdMs);
}

QByteArray TidTable::destinationKey(const LonFrame &f)
{
    const LonAddress &a = f.address;
    QByteArray key(1, char(a.format));
    key.append(f.domain.size() ? f.domain : QByteArray()).append(char(f.domain.size()));
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
