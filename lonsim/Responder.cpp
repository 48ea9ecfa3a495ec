// What a simulated Neuron-based device answers to the network management and
// network-variable messages of the host.

#include "DeviceImage.h"
#include "Interface.h"
#include "Network.h"

namespace lonsim {

namespace {
constexpr int MaxReadLength = 64;   // bytes per memory read or Query SNVT answer

Reply success(uint8_t request, QByteArray data = {})
{
    return Reply{wire::successCode(request), std::move(data)};
}
Reply failure(uint8_t request)
{
    return Reply{wire::failureCode(request), {}};
}
} // namespace

std::optional<Reply> Network::respond(DeviceState &d, Interface &, const wire::HostFrame &f, const DomainAddress &)
{
    const QByteArray &data = f.data;
    switch (f.code) {
    case wire::QueryId: {
        ++d.counts.queryId;
        // Selector 1 asks the selected devices; 0 and 2 ask unconfigured ones, and every
        // simulated device is configured.
        if (data.isEmpty() || uint8_t(data[0]) != 1 || !d.selected)
            return std::nullopt;
        QByteArray id(reinterpret_cast<const char *>(d.model->neuronId.data()), 6);
        id.append(reinterpret_cast<const char *>(d.model->programId.data()), 8);
        return success(f.code, id);
    }
    case wire::RespondToQuery:
        ++d.counts.respondToQuery;
        if (data.size() != 1 || uint8_t(data[0]) > 1)
            return failure(f.code);
        if (data[0] == 1)
            d.selected = true;
        else if (!d.behaviour.ignoresUnselect)
            d.selected = false;
        return success(f.code);
    case wire::ReadMemory:
        ++d.counts.readMemory;
        return readMemory(d, data);
    case wire::QuerySnvt:
        ++d.counts.querySnvt;
        return querySnvt(d, data);
    case wire::NvFetch:
        ++d.counts.fetch;
        return nvFetch(d, data, f.code);
    case wire::QueryNvConfig: {
        ++d.counts.nvConfig;
        const auto index = nvIndexOf(data);
        if (!index || index->first >= d.slots.size() || index->second != data.size())
            return failure(f.code);
        const NvSlot &slot = d.slots.at(index->first);
        const bool bound = d.variableOf(slot).selector >= 0;
        QByteArray config;
        config.append(char((d.variableOf(slot).output ? 0x40 : 0x00) | ((slot.selector >> 8) & 0x3F)));
        config.append(char(slot.selector & 0xFF));
        config.append(char(bound ? 0x00 : 0x0F));   // acknowledged service; address entry 15 = none
        return success(f.code, config);
    }
    default:
        ++d.counts.other;
        if ((f.code & 0xE0) == 0x60)
            return failure(f.code);     // a management request this device does not offer
        return std::nullopt;
    }
}

std::optional<Reply> Network::readMemory(DeviceState &d, const QByteArray &data)
{
    if (data.size() != 4 || data[0] != 0)
        return failure(wire::ReadMemory);
    const int address = (uint8_t(data[1]) << 8) | uint8_t(data[2]);
    const int count = uint8_t(data[3]);
    if (count == 0 || count > MaxReadLength)
        return failure(wire::ReadMemory);
    if (address >= ReadOnlyAddress && address + count <= ReadOnlyAddress + ReadOnlyLength)
        return success(wire::ReadMemory, d.readOnly.mid(address - ReadOnlyAddress, count));
    const int sd = d.model->selfDocAddress;
    if (sd != 0 && sd != 0xFFFF && address >= sd && address + count <= sd + d.selfDoc.size())
        return success(wire::ReadMemory, d.selfDoc.mid(address - sd, count));
    return failure(wire::ReadMemory);
}

std::optional<Reply> Network::querySnvt(DeviceState &d, const QByteArray &data)
{
    if (data.size() != 3)
        return failure(wire::QuerySnvt);
    const int offset = (uint8_t(data[0]) << 8) | uint8_t(data[1]);
    const int count = uint8_t(data[2]);
    if (count > MaxReadLength || offset + count > d.selfDoc.size())
        return failure(wire::QuerySnvt);
    return success(wire::QuerySnvt, d.selfDoc.mid(offset, count));
}

std::optional<Reply> Network::nvFetch(DeviceState &d, const QByteArray &data, uint8_t code)
{
    const auto index = nvIndexOf(data);
    if (!index || index->second != data.size() || index->first >= d.slots.size())
        return failure(code);
    const NvSlot &slot = d.slots.at(index->first);
    return success(code, data + d.valueAt(slot, now(), timeScale()));
}

bool Network::applyUpdate(DeviceState &d, Interface &from, const wire::HostFrame &f)
{
    ++d.counts.update;
    if (f.data.isEmpty()) {
        ++d.counts.rejectedUpdate;
        return false;
    }
    const int selector = ((f.code & 0x3F) << 8) | uint8_t(f.data[0]);
    NvSlot *slot = d.slotBySelector(selector);
    const QByteArray value = f.data.mid(1);
    if (!slot || value.size() != d.variableOf(*slot).size) {
        ++d.counts.rejectedUpdate;
        return false;
    }
    slot->value = value;
    slot->changing = false;
    const int index = int(slot - d.slots.data());
    if (index != d.model->fileRequestNv || value.size() < 10)
        return true;
    // The file request: [mode, file high, file low, ..., domain/node of the receiver at 6,
    // its subnet at 9]. Mode 0 starts a transfer, 2 ends it.
    std::erase_if(m_transfers, [&d](const auto &t) { return &t->device() == &d; });
    if (value[0] != 0)
        return true;
    const int fileIndex = (uint8_t(value[1]) << 8) | uint8_t(value[2]);
    for (const DeviceFile &file : d.model->files) {
        if (file.index != fileIndex)
            continue;
        const uint8_t domainIndex = uint8_t(value[6]) >> 7;
        const DomainAddress *m = d.memberOf(from.domain(domainIndex).address.id);
        if (!m)
            return true;
        ++d.counts.fileTransfers;
        const wire::Endpoint src{domainIndex, m->subnet, m->node};
        const wire::Endpoint dst{domainIndex, uint8_t(value[9]), uint8_t(uint8_t(value[6]) & 0x7F)};
        const qint64 start = now() + scaled(d.behaviour.delayMs) + scaled(d.model->filePacketIntervalMs);
        m_transfers.push_back(std::make_unique<FileTransfer>(d, from, file.data, src, dst, start,
                                                             scaled(d.model->filePacketIntervalMs),
                                                             std::max<qint64>(1, scaled(1000))));
        break;
    }
    return true;
}

} // namespace lonsim
