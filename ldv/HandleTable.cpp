#include "ldv/HandleTable.h"

#include "ldv/InterfaceNames.h"
#include "ldv/InterfaceTable.h"
#include "ldv/ipni/IpNetworkInterface.h"
#include "ldv/ldv32.h"
#include "ldv/lonnet/LonDeviceInterface.h"
#include "ldv/lonnet/NetDevices.h"
#include "ldv/lonnet/PacketSocket.h"
#include "lonsim/NetworkRegistry.h"

#include <cstdio>

namespace ldv {

namespace {
constexpr std::size_t MaxHandles = 256;   // one per site a driver process keeps online

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
    const InterfaceTable table = loadInterfaceTable();
    if (!table.ok()) {
        complain(QStringLiteral("interfaces file refused: ") + table.error);
        return LDV_INVALID_DEVICE_ID;
    }
    const InterfaceEntry *entry = table.find(name);
    if (m_open.size() >= MaxHandles) {
        complain(QStringLiteral("too many open interfaces"));
        return LDV_NO_RESOURCES;
    }
    if (entry && entry->kind == InterfaceEntry::Ip852) {
        auto iface = std::make_unique<ni::IpNetworkInterface>(entry->name, entry->ip);
        QString error;
        if (!iface->open(error)) {
            complain(QStringLiteral("interface \"%1\" (%2): %3").arg(entry->name, entry->summary(), error));
            return LDV_DEVICE_ERR;
        }
        handle = add(std::move(iface));
        return LDV_OK;
    }
    // A table entry comes first; otherwise a lonN name is always the network device of
    // that name, so a missing adapter is reported rather than a simulated network opened.
    if ((entry && entry->kind == InterfaceEntry::LonDevice) || (!entry && lonnet::isLonDeviceName(name)))
        return openLonDevice(entry ? entry->name : name, entry ? entry->device : name, handle);
    const ResolvedName resolved = resolveInterfaceName(entry ? entry->network : name);
    if (resolved.key.isEmpty()) {
        complain(resolved.error + (table.path.isEmpty() ? QStringLiteral("; there is no interfaces file")
                                                        : QStringLiteral("; nor is it in ") + table.path));
        return LDV_NOT_FOUND;
    }
    QString error;
    lonsim::Network *network = lonsim::NetworkRegistry::instance().obtain(resolved.key, resolved.load, error);
    if (!network) {
        complain(error);
        return LDV_INVALID_DEVICE_ID;
    }
    while (m_open.count(m_next) || m_next <= 0)
        m_next = m_next >= 0x7FFF ? 1 : short(m_next + 1);
    const QString label = network->model().name + QLatin1Char('#') + QString::number(m_next);
    handle = add(std::make_unique<SimulatedInterface>(*network, label));
    return LDV_OK;
}

short HandleTable::openLonDevice(const QString &name, const QString &device, short &handle)
{
    auto iface = std::make_unique<lonnet::LonDeviceInterface>(name, device, std::make_unique<lonnet::PacketSocket>());
    QString error;
    const short status = iface->open(error);
    if (status != LDV_OK) {
        complain(QStringLiteral("interface \"%1\" (LON network device %2): %3").arg(name, device, error));
        return status;
    }
    handle = add(std::move(iface));
    return LDV_OK;
}

short HandleTable::add(std::unique_ptr<OpenInterface> iface)
{
    while (m_open.count(m_next) || m_next <= 0)
        m_next = m_next >= 0x7FFF ? 1 : short(m_next + 1);
    const short handle = m_next;
    m_next = m_next >= 0x7FFF ? 1 : short(m_next + 1);
    m_open.emplace(handle, std::move(iface));
    return handle;
}

short HandleTable::close(short handle)
{
    return m_open.erase(handle) ? LDV_OK : LDV_NOT_OPEN;
}

OpenInterface *HandleTable::find(short handle) const
{
    const auto it = m_open.find(handle);
    return it == m_open.end() ? nullptr : it->second.get();
}

} // namespace ldv
