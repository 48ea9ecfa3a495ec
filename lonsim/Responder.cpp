#include "lonsim/Responder.h"

#include "lonsim/Network.h"
#include "lontalk/DeviceImage.h"

#include <algorithm>

namespace lonsim {

namespace wire = lontalk::wire;

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

std::optional<Reply> readMemory(DeviceState &d, const QByteArray &data);
std::optional<Reply> querySnvt(DeviceState &d, const QByteArray &data);
std::optional<Reply> nvFetch(DeviceState &d, const QByteArray &data, uint8_t code, qint64 now, double timeScale);

// A fetch answer turned into the answer for the next variable (index + 1, wrapping), in
// the same index form: what a device sends when it takes a request for a repeat of the
// one before. Other answers stay as they are.
Reply otherVariable(const DeviceState &d, Reply reply)
{
    const auto index = nvIndexOf(reply.data);
    if (reply.code != wire::successCode(wire::NvFetch) || !index || d.slots().empty())
        return reply;
    const int other = (index->first + 1) % d.slotCount();
    QByteArray data = index->second == 1 ? QByteArray(1, char(other))
                                         : QByteArray(1, char(0xFF)) + char(other >> 8) + char(other & 0xFF);
    reply.data = data + d.slotAt(other)->value;
    return reply;
}
} // namespace

std::optional<Reply> answerMessage(DeviceState &d, uint8_t code, const QByteArray &data, qint64 now,
                                   double timeScale)
{
    switch (code) {
    case wire::QueryId: {
        d.count(&DeviceCounters::queryId);
        // Selector 1 asks the selected devices; 0 and 2 ask unconfigured ones, and every
        // simulated device is configured.
        if (data.isEmpty() || uint8_t(data[0]) != 1 || !d.selected())
            return std::nullopt;
        QByteArray id(reinterpret_cast<const char *>(d.model().neuronId.data()), 6);
        id.append(reinterpret_cast<const char *>(d.model().programId.data()), 8);
        return success(code, id);
    }
    case wire::RespondToQuery:
        d.count(&DeviceCounters::respondToQuery);
        if (data.size() != 1 || uint8_t(data[0]) > 1)
            return failure(code);
        if (data[0] == 1)
            d.setSelected(true);
        else if (!d.behaviour().ignoresUnselect)
            d.setSelected(false);
        return success(code);
    case wire::ReadMemory:
        d.count(&DeviceCounters::readMemory);
        return readMemory(d, data);
    case wire::QuerySnvt:
        d.count(&DeviceCounters::querySnvt);
        return querySnvt(d, data);
    case wire::NvFetch:
        d.count(&DeviceCounters::fetch);
        return nvFetch(d, data, code, now, timeScale);
    case wire::QueryNvConfig: {
        d.count(&DeviceCounters::nvConfig);
        const auto index = nvIndexOf(data);
        if (!index || index->first >= d.slotCount() || index->second != data.size())
            return failure(code);
        const NvSlot &slot = *d.slotAt(index->first);
        const bool bound = d.variableOf(slot).selector >= 0;
        QByteArray config;
        config.append(char((d.variableOf(slot).output ? 0x40 : 0x00) | ((slot.selector >> 8) & 0x3F)));
        config.append(char(slot.selector & 0xFF));
        // Acknowledged service; the authentication bit; address entry 15 = none.
        config.append(char((d.variableOf(slot).authenticated ? 0x10 : 0x00) | (bound ? 0x00 : 0x0F)));
        return success(code, config);
    }
    default:
        d.count(&DeviceCounters::other);
        if ((code & 0xE0) == 0x60)
            return failure(code);     // a management request this device does not offer
        return std::nullopt;
    }
}

namespace {
// count bytes of the self-documentation from offset; a real device's memory goes on past
// its end (zeros here), so a read of the first 16 bytes of a shorter one succeeds.
QByteArray selfDocBytes(const DeviceState &d, int offset, int count)
{
    return d.selfDoc().mid(offset, count).leftJustified(count, '\0');
}

std::optional<Reply> readMemory(DeviceState &d, const QByteArray &data)
{
    if (data.size() != 4 || data[0] != 0)
        return failure(wire::ReadMemory);
    const int address = (uint8_t(data[1]) << 8) | uint8_t(data[2]);
    const int count = uint8_t(data[3]);
    if (count == 0 || count > MaxReadLength)
        return failure(wire::ReadMemory);
    if (address >= lontalk::ReadOnlyAddress && address + count <= lontalk::ReadOnlyAddress + lontalk::ReadOnlyLength)
        return success(wire::ReadMemory, d.readOnly().mid(address - lontalk::ReadOnlyAddress, count));
    // The self-documentation and the memory after it, up to the read-only structure.
    const int sd = d.model().selfDocAddress;
    if (sd != 0 && sd != 0xFFFF && address >= sd && address + count <= lontalk::ReadOnlyAddress)
        return success(wire::ReadMemory, selfDocBytes(d, address - sd, count));
    return failure(wire::ReadMemory);
}

std::optional<Reply> querySnvt(DeviceState &d, const QByteArray &data)
{
    if (data.size() != 3)
        return failure(wire::QuerySnvt);
    const int offset = (uint8_t(data[0]) << 8) | uint8_t(data[1]);
    const int count = uint8_t(data[2]);
    if (count > MaxReadLength || offset + count > 0x10000)
        return failure(wire::QuerySnvt);
    return success(wire::QuerySnvt, selfDocBytes(d, offset, count));
}

std::optional<Reply> nvFetch(DeviceState &d, const QByteArray &data, uint8_t code, qint64 now, double timeScale)
{
    const auto index = nvIndexOf(data);
    if (!index || index->second != data.size() || index->first >= d.slotCount())
        return failure(code);
    const NvSlot &slot = *d.slotAt(index->first);
    return success(code, data + d.valueAt(slot, now, timeScale));
}
} // namespace

UpdateOutcome applyNvUpdate(DeviceState &d, uint8_t code, const QByteArray &data, bool authenticated)
{
    d.count(&DeviceCounters::update);
    UpdateOutcome out;
    if (data.isEmpty()) {
        d.count(&DeviceCounters::rejectedUpdate);
        return out;
    }
    const int selector = ((code & 0x3F) << 8) | uint8_t(data[0]);
    NvSlot *slot = d.slotBySelector(selector);
    const QByteArray value = data.mid(1);
    if (!slot || value.size() != d.variableOf(*slot).size) {
        d.count(&DeviceCounters::rejectedUpdate);
        return out;
    }
    if (d.variableOf(*slot).authenticated && !authenticated) {
        d.count(&DeviceCounters::rejectedUpdate);
        d.count(&DeviceCounters::unauthenticated);
        return out;
    }
    slot->value = value;
    slot->changing = false;
    out.applied = true;
    const int index = int(d.indexOf(*slot));
    out.fileRequest = index == d.model().fileRequestNv && value.size() >= 10;
    out.value = value;
    return out;
}

Reply spoilByKind(MalformKind kind, Reply reply)
{
    switch (kind) {
    case MalformKind::WrongLength:
        if (reply.data.isEmpty())
            reply.data.append('\0');
        else
            reply.data.chop(1);
        break;
    case MalformKind::WrongCode:
        reply.code ^= 0x01;
        break;
    case MalformKind::Oversized:
        reply.data.append(QByteArray(std::max<qsizetype>(0, 240 - reply.data.size()), char(0xEE)));
        break;
    default:
        break;
    }
    return reply;
}

Reply spoilReply(DeviceState &d, uint8_t requestCode, Reply reply, bool &lyingLength)
{
    const bool hit = d.faultHits(DeviceState::Fault::Malform, requestCode);
    const MalformKind kind = hit ? d.behaviour().malformKind : MalformKind::None;
    lyingLength = kind == MalformKind::LyingLength;
    if (kind == MalformKind::OtherVariable)
        return otherVariable(d, std::move(reply));
    return spoilByKind(kind, std::move(reply));
}

std::optional<MalformKind> malformKindNamed(const QString &name)
{
    static const struct {
        const char *name;
        MalformKind kind;
    } kinds[] = {
        {"none", MalformKind::None},
        {"wrongLength", MalformKind::WrongLength},
        {"wrongCode", MalformKind::WrongCode},
        {"lyingLength", MalformKind::LyingLength},
        {"oversized", MalformKind::Oversized},
        {"otherVariable", MalformKind::OtherVariable},
    };
    for (const auto &k : kinds)
        if (name == QLatin1String(k.name))
            return k.kind;
    return std::nullopt;
}

} // namespace lonsim
