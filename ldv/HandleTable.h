#pragma once
// The open handles of the library: each one a simulated interface on a shared network.

#include "Interface.h"

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
    lonsim::Interface *find(short handle) const;

private:
    std::map<short, std::unique_ptr<lonsim::Interface>> m_open;
    short m_next = 1;
};

} // namespace ldv
