// The ten exported entries of libldv32.so, over the simulated network, an IP-852 channel or a LON device. Every entry is
// serialised by one lock and never lets an exception out.

#pragma GCC visibility push(default)
#include "ldv/ldv32.h"
#pragma GCC visibility pop

#include "ldv/HandleTable.h"
#include "ldv/InterfaceNames.h"
#include "ldv/InterfaceTable.h"
#include "ldv/WriteGate.h"
#include "ldv/lonnet/NetDevices.h"
#include "lonsim/ControlChannel.h"
#include "lonsim/NetworkRegistry.h"

#include <cstring>
#include <mutex>

namespace {

std::mutex &entryLock()
{
    static std::mutex lock;
    return lock;
}

template <typename Body>
short guarded(Body body)
{
    try {
        std::lock_guard<std::mutex> hold(entryLock());
        return body();
    } catch (...) {
        return LDV_DEVICE_ERR;
    }
}

void pollControl(bool force = false)
{
    lonsim::pollControlChannel(lonsim::NetworkRegistry::instance(), force);
}

// Copies text into out, cut to the capacity *length gives; *length becomes its length.
short copyBounded(const QByteArray &text, char *out, int *length)
{
    if (!out || !length || *length <= 0)
        return LDV_INVALID_BUF_LEN;
    const int n = std::min<int>(int(text.size()), *length - 1);
    std::memcpy(out, text.constData(), std::size_t(n));
    out[n] = '\0';
    *length = n;
    return LDV_OK;
}

ldv::WriteGate &writeGate()
{
    static ldv::WriteGate gate;
    return gate;
}

} // namespace

void ldv::setWriteGateForTest(WriteGate gate)
{
    std::lock_guard<std::mutex> hold(entryLock());
    writeGate() = std::move(gate);
}

short ldv::writeGateStatus(const uint8_t *bytes, int length)
{
    const WriteGate &gate = writeGate();
    return gate ? gate(bytes, length) : short(LDV_OK);
}

extern "C" {

const char *ldv_get_version(void)
{
    return "LonSim 1.0";
}

short ldv_open(const char *name, short *handle)
{
    if (!name || !handle)
        return LDV_INVALID_DEVICE_ID;
    return guarded([&] {
        const short status = ldv::HandleTable::instance().open(QString::fromLocal8Bit(name), *handle);
        pollControl(true);
        return status;
    });
}

short ldv_close(short handle)
{
    return guarded([&] {
        const short status = ldv::HandleTable::instance().close(handle);
        pollControl(true);
        return status;
    });
}

short ldv_read(short handle, void *buffer, short length)
{
    return guarded([&]() -> short {
        ldv::OpenInterface *iface = ldv::HandleTable::instance().find(handle);
        if (!iface)
            return LDV_NOT_OPEN;
        pollControl();
        if (!buffer || length <= 0)
            return LDV_INVALID_BUF_LEN;
        return iface->read(static_cast<uint8_t *>(buffer), length);
    });
}

short ldv_write(short handle, const void *buffer, short length)
{
    return guarded([&]() -> short {
        ldv::OpenInterface *iface = ldv::HandleTable::instance().find(handle);
        if (!iface)
            return LDV_NOT_OPEN;
        const auto *bytes = static_cast<const uint8_t *>(buffer);
        short status = LDV_INVALID_BUF_LEN;
        if (bytes && length > 0) {
            status = ldv::writeGateStatus(bytes, length);
            if (status == LDV_OK)
                status = iface->write(bytes, length);
        }
        pollControl();
        return status;
    });
}

short ldv_register_event(short handle, void *)
{
    // Events are not signalled: the host polls ldv_read.
    return guarded([&]() -> short {
        return ldv::HandleTable::instance().find(handle) ? LDV_NO_RESOURCES : LDV_NOT_OPEN;
    });
}

short ldv_get_debug_info(short handle, void *info, short length)
{
    return guarded([&]() -> short {
        ldv::OpenInterface *iface = ldv::HandleTable::instance().find(handle);
        if (!iface)
            return LDV_NOT_OPEN;
        int capacity = length;
        const QByteArray text = iface->describe().toUtf8();
        return copyBounded(text, static_cast<char *>(info), &capacity);
    });
}

short ldv_xlate_device_name(const char *name, char *out, int *length)
{
    return ldv_xlate_device_name_std(name, out, length);
}

short ldv_xlate_device_name_std(const char *name, char *out, int *length)
{
    return guarded([&]() -> short {
        const QString given = name ? QString::fromLocal8Bit(name) : QString();
        const ldv::InterfaceTable table = ldv::loadInterfaceTable();
        if (const ldv::InterfaceEntry *entry = table.find(given); entry && entry->kind == ldv::InterfaceEntry::Ip852)
            return copyBounded((given + QStringLiteral(" (") + entry->summary() + QLatin1Char(')')).toLocal8Bit(), out, length);
        const ldv::InterfaceEntry *entry = table.find(given);
        if (entry && entry->kind == ldv::InterfaceEntry::LonDevice)
            return copyBounded((given + QStringLiteral(" (") + entry->summary() + QLatin1Char(')')).toLocal8Bit(), out, length);
        if (!entry && ldv::lonnet::isLonDeviceName(given)) {
            copyBounded((given + QStringLiteral(" (LON network device)")).toLocal8Bit(), out, length);
            return ldv::lonnet::deviceState(given) == ldv::lonnet::DeviceState::Missing ? short(LDV_NOT_FOUND) : short(LDV_OK);
        }
        const ldv::ResolvedName resolved = ldv::resolveInterfaceName(entry ? entry->network : given);
        if (resolved.key.isEmpty()) {
            copyBounded(given.toLocal8Bit(), out, length);
            return LDV_NOT_FOUND;
        }
        return copyBounded((given + QStringLiteral(" (LonSim simulated network: ") + resolved.source
                            + QLatin1Char(')')).toLocal8Bit(),
                           out, length);
    });
}

short ldv_enable(short handle, short)
{
    return guarded([&]() -> short { return ldv::HandleTable::instance().find(handle) ? LDV_OK : LDV_NOT_OPEN; });
}

} // extern "C"
