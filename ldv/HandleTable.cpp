#include "HandleTable.h"

#include "InterfaceNames.h"
#include "NetworkRegistry.h"
#include "ldv32.h"

#include <cstdio>

namespace ldv {

namespace {
constexpr std::size_t MaxHandles = 64;

void complain(const QString &why)
{
    std::fprintf(stderr, "libldv32: %s\n", why.toLocal8Bit().constData());
}
} // namespace

HandleTable &HandleTable::instance()
{
    static HandleTable table;
    return table;
}

short HandleTable::open(const QString &name, short &handle)
{
    const ResolvedName resolved = resolveInterfaceName(name);
    if (resolved.key.isEmpty()) {
        complain(resolved.error);
        return LDV_NOT_FOUND;
    }
    if (m_open.size() >= MaxHandles) {
        complain(QStringLiteral("too many open interfaces"));
        return LDV_NO_RESOURCES;
    }
    QString error;
    lonsim::Network *network = lonsim::NetworkRegistry::instance().obtain(resolved.key, resolved.load, error);
    if (!network) {
        complain(error);
        return LDV_INVALID_DEVICE_ID;
    }
    while (m_open.count(m_next) || m_next <= 0)
        m_next = m_next >= 0x7FFF ? 1 : short(m_next + 1);
    handle = m_next;
    m_next = m_next >= 0x7FFF ? 1 : short(m_next + 1);
    const QString label = network->model().name + QLatin1Char('#') + QString::number(handle);
    m_open.emplace(handle, std::make_unique<lonsim::Interface>(*network, label));
    return LDV_OK;
}

short HandleTable::close(short handle)
{
    return m_open.erase(handle) ? LDV_OK : LDV_NOT_OPEN;
}

lonsim::Interface *HandleTable::find(short handle) const
{
    const auto it = m_open.find(handle);
    return it == m_open.end() ? nullptr : it->second.get();
}

} // namespace ldv
