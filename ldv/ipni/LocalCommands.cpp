// The local commands the software interface answers itself: read memory of its read-only
// structure, query and update of its two domain table entries.
#include "ldv/ipni/IpNetworkInterface.h"

#include "lontalk/DeviceImage.h"

namespace ldv::ni {

void IpNetworkInterface::local(const HostMessage &m)
{
    using namespace lontalk::wire;
    const QByteArray &d = m.frame.data;
    uint8_t code = failureCode(m.frame.code);
    QByteArray answer;
    switch (m.frame.code) {
    case ReadMemory: {
        if (d.size() != 4 || d[0] != 0)
            break;
        const int address = (uint8_t(d[1]) << 8) | uint8_t(d[2]);
        const int count = uint8_t(d[3]);
        if (address < lontalk::ReadOnlyAddress || address + count > lontalk::ReadOnlyAddress + lontalk::ReadOnlyLength)
            break;
        code = successCode(m.frame.code);
        answer = m_readOnly.mid(address - lontalk::ReadOnlyAddress, count);
        break;
    }
    case QueryDomain: {
        if (d.size() != 1 || uint8_t(d[0]) > 1)
            break;
        const IpDomainSetting &e = m_domains[uint8_t(d[0])];
        answer = e.id.leftJustified(6, '\0', true);
        answer.append(char(e.subnet)).append(char(e.node & 0x7F)).append(char(e.id.size())).append(e.key.leftJustified(6, '\0', true));
        code = successCode(m.frame.code);
        break;
    }
    case UpdateDomain: {
        if (d.size() != 16 || uint8_t(d[0]) > 1)
            break;
        const int idLength = uint8_t(d[9]);
        if (idLength != 0 && idLength != 1 && idLength != 3 && idLength != 6)
            break;
        IpDomainSetting &e = m_domains[uint8_t(d[0])];
        e.id = d.mid(1, idLength);
        e.subnet = uint8_t(d[7]);
        e.node = uint8_t(d[8]) & 0x7F;
        const QByteArray key = d.mid(10, 6);
        e.hasKey = e.hasKey || key != e.key;    // the host installed a key of its own
        e.key = key;
        code = successCode(m.frame.code);
        m_channel->setDomains(m_domains, now());
        break;
    }
    default:
        break;
    }
    const IpDomainSetting &self = m_domains[0];
    toHost(localAnswer(m, code, answer, self.subnet, self.node & 0x7F));
}

} // namespace ldv::ni
