#pragma once
// One open handle of the library, whatever kind of interface stands behind it: a
// simulated network or a software network interface on an IP-852 channel.

#include "ldv/ldv32.h"
#include "lonsim/Interface.h"
#include "lonsim/Network.h"
#include "lontalk/HostQueue.h"

#include <QString>
#include <cstdint>

namespace ldv {

class OpenInterface {
public:
    virtual ~OpenInterface() = default;
    // ldv_read / ldv_write: statuses of ldv32.h.
    virtual short read(uint8_t *buffer, int length) = 0;
    virtual short write(const uint8_t *bytes, int length) = 0;
    // One line about the handle for ldv_get_debug_info.
    virtual QString describe() const = 0;
};

// What ldv_read answers for what an interface's host queue gave.
inline short readStatus(lontalk::HostRead read)
{
    switch (read) {
    case lontalk::HostRead::Frame:
        return LDV_OK;
    case lontalk::HostRead::Empty:
        return LDV_NO_MSG_AVAIL;
    case lontalk::HostRead::TooSmall:
        break;
    }
    return LDV_INVALID_BUF_LEN;
}

// A handle on the in-process simulated network.
class SimulatedInterface : public OpenInterface {
public:
    SimulatedInterface(lonsim::Network &network, const QString &label) : m_iface(network, label) {}
    short read(uint8_t *buffer, int length) override { return readStatus(m_iface.read(buffer, length)); }
    short write(const uint8_t *bytes, int length) override
    {
        return m_iface.write(bytes, length) ? short(LDV_OK) : short(LDV_INVALID_BUF_LEN);
    }
    QString describe() const override
    {
        return m_iface.label() + QStringLiteral(" on ") + m_iface.network().key() + QStringLiteral(", frames waiting: ")
               + QString::number(m_iface.pending());
    }

private:
    lonsim::Interface m_iface;
};

} // namespace ldv
