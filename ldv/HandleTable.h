#pragma once
// The open handles of the library: each one a simulated interface on a shared network, a
// software network interface on an IP-852 channel, or a LON network device.

#include "ldv/OpenInterface.h"

#include <QString>
#include <map>
#include <memory>

namespace ldv {

class HandleTable {
public:
    static HandleTable &instance();

    // Opens an interface on the named network; an ldv status, the handle in handle.
    short open(const QString &name, short &handle);
    short close(short handle);
    OpenInterface *find(short handle) const;

private:
    short add(std::unique_ptr<OpenInterface> iface);
    short openLonDevice(const QString &name, const QString &device, short &handle);
    std::map<short, std::unique_ptr<OpenInterface>> m_open;
    short m_next = 1;
};

} // namespace ldv
