#include "lonsim/Network.h"

#include "lonsim/Interface.h"
#include "lonsim/Trace.h"

#include "lontalk/Authentication.h"

#include <algorithm>

namespace lonsim {

namespace wire = lontalk::wire;

namespace {

constexpr qint64 NsPerMs = 1'000'000;

std::function<qint64()> &processClockUs()
{
    static std::function<qint64()> clock;
    return clock;
}

// The host queue counts milliseconds: a frame is there once its last bit is.
qint64 ceilMs(qint64 ns)
{
    return ns >= 0 ? (ns + NsPerMs - 1) / NsPerMs : ns / NsPerMs;
}

int frameBytes(const ip852::LonFrame &frame)
{
    return int(ip852::buildFrame(frame).size());
}

} // namespace

std::optional<std::pair<int, int>> nvIndexOf(const QByteArray &data)
{
    if (data.isEmpty())
        return std::nullopt;
    if (uint8_t(data[0]) != 0xFF)
        return std::make_pair(int(uint8_t(data[0])), 1);
    if (data.size() < 3)
        return std::nullopt;
    return std::make_pair((uint8_t(data[1]) << 8) | uint8_t(data[2]), 3);
}

Network::Network(NetworkModel model, QString key)
    : m_model(std::move(model)), m_key(std::move(key)), m_channel(m_model.channel)
{
    m_clock.start();
    for (const Device &device : m_model.devices)
        m_devices.append(DeviceState(device));
    for (DeviceState &device : m_devices)
        for (NvSlot &slot : device.slots()) {
            const int period = device.variableOf(slot).unsolicited.periodMs;
            if (period > 0)
                slot.nextUnsolicited = scaled(period);
        }
}

Network::~Network() = default;

void Network::setProcessClockForTest(std::function<qint64()> nowUs)
{
    processClockUs() = std::move(nowUs);
}

qint64 Network::now() const
{
    if (m_testClock)
        return m_testClock();
    return nowNs() / NsPerMs;
}

qint64 Network::nowNs() const
{
    if (m_testClock)
        return m_testClock() * NsPerMs;
    if (const auto &clock = processClockUs())
        return clock() * 1000;
    return m_clock.nsecsElapsed();
}

qint64 Network::answerDue(const ip852::LonFrame &message, qint64 readyNs, bool response, const QByteArray &apdu)
{
    if (!m_channel.timed())
        return readyNs / NsPerMs;
    // The reply goes back by subnet/node whatever the request's address was.
    ip852::LonFrame reply = message;
    reply.pdu = response ? ip852::Pdu::Spdu : ip852::Pdu::Tpdu;
    reply.type = response ? uint8_t(ip852::Response) : uint8_t(ip852::Ack);
    reply.address.format = ip852::AddressFormat::SubnetNode;
    reply.authenticated = false;
    reply.memberList.clear();
    reply.apdu = response ? apdu : QByteArray();
    return ceilMs(m_channel.send(readyNs, frameBytes(reply)));
}

void Network::traceLoad()
{
    const qint64 now = this->now();
    if (!m_channel.timed() || m_channel.frames() == m_framesTraced || now < m_nextLoadTrace)
        return;
    m_nextLoadTrace = now + 1000;
    m_framesTraced = m_channel.frames();
    traceText(m_model.name, QStringLiteral("channel %1: load %2 % over the last %3 s, %4 frames")
                                .arg(m_channel.channel().describe())
                                .arg(100.0 * m_channel.load(nowNs()), 0, 'f', 1)
                                .arg(ChannelTimeline::LoadWindowNs / (1000 * NsPerMs))
                                .arg(m_channel.frames()));
}

DeviceState *Network::device(const QString &name)
{
    for (DeviceState &d : m_devices)
        if (d.model().name == name)
            return &d;
    return nullptr;
}

void Network::attach(Interface *iface)
{
    m_interfaces.append(iface);
}

void Network::detach(Interface *iface)
{
    m_interfaces.removeAll(iface);
    dropTransfers(*iface);
}

void Network::dropTransfers(const PacketSink &sink)
{
    std::erase_if(m_transfers, [&sink](const auto &t) { return &t->target() == &sink; });
}

QList<Network::Target> Network::targetsOf(const Interface &from, const wire::HostFrame &f)
{
    QList<Target> targets;
    const QByteArray &domainId = from.domain(f.domainIndex).address.id;
    for (DeviceState &d : m_devices) {
        const DomainAddress *m = d.memberOf(domainId);
        if (!m)
            continue;
        bool hit = false;
        switch (f.addressKind) {
        case wire::SubnetNode:
            hit = m->subnet == f.subnet && m->node == f.node;
            break;
        case wire::ByNeuronId:
            hit = std::equal(d.model().neuronId.begin(), d.model().neuronId.end(), f.neuronId);
            break;
        case wire::Broadcast:
            hit = f.subnet == 0 || m->subnet == f.subnet;
            break;
        default:
            break;
        }
        if (hit)
            targets.append({&d, m});
    }
    return targets;
}

void Network::transact(Interface &from, const wire::HostFrame &f)
{
    if (f.response) {
        fileAcknowledged(from, f);
        return;
    }
    if (f.command != 1)
        return;
    const ip852::LonFrame message = messageOf(from, f);
    if (!message.hasTid()) {
        transmit(from, f, 0);
        return;
    }
    const QByteArray destination = ip852::TidTable::destinationKey(message);
    const uint8_t tid = m_tids.next(destination, message.priority, now());
    const qint64 completed = transmit(from, f, tid);
    m_tids.finished(destination, message.priority, tid, completed, ip852::LongestReceiveMs);
}

ip852::LonFrame Network::messageOf(const Interface &from, const wire::HostFrame &f) const
{
    const DomainAddress &source = from.domain(f.domainIndex).address;
    ip852::LonFrame m;
    m.priority = f.flags & 0x80;
    m.domain = source.id;
    m.address.sourceSubnet = source.subnet;
    m.address.sourceNode = source.node & 0x7F;
    switch (f.service) {
    case wire::Acknowledged:
        m.pdu = ip852::Pdu::Tpdu;
        m.type = ip852::Ackd;
        break;
    case wire::UnackRepeat:
        m.pdu = ip852::Pdu::Tpdu;
        m.type = ip852::UnackdRpt;
        break;
    case wire::Request:
        m.pdu = ip852::Pdu::Spdu;
        m.type = ip852::Request;
        break;
    default:
        m.pdu = ip852::Pdu::Apdu;
        break;
    }
    m.address.subnet = f.subnet;
    switch (f.addressKind) {
    case wire::SubnetNode:
        m.address.format = ip852::AddressFormat::SubnetNode;
        m.address.node = f.node & 0x7F;
        break;
    case wire::ByNeuronId:
        m.address.format = ip852::AddressFormat::NeuronId;
        std::copy(std::begin(f.neuronId), std::end(f.neuronId), m.address.neuronId.begin());
        break;
    case wire::Broadcast:
        m.address.format = ip852::AddressFormat::Broadcast;
        break;
    default:
        m.address.format = ip852::AddressFormat::Group;
        m.address.group = f.group;
        break;
    }
    m.apdu = QByteArray(1, char(f.code)) + f.data;
    return m;
}

qint64 Network::transmit(Interface &from, const wire::HostFrame &f, uint8_t tid)
{
    const qint64 now = this->now();
    ip852::LonFrame message = messageOf(from, f);
    message.tid = tid & 0x0F;
    const DomainEntry &entry = from.domain(f.domainIndex);
    const wire::Endpoint host{f.domainIndex, entry.address.subnet, entry.address.node};
    // On a timed channel the request takes its time on the wire before any device hears it,
    // and every answer then waits for the channel in turn.
    const bool timed = m_channel.timed();
    const qint64 startNs = timed ? nowNs() : now * NsPerMs;
    const qint64 sentNs = timed ? m_channel.send(startNs, frameBytes(message)) : startNs;
    const qint64 heard = timed ? ceilMs(sentNs) : now;
    qint64 lastDue = now;
    int answered = 0;
    for (const Target &t : targetsOf(from, f)) {
        DeviceState &d = *t.device;
        if (d.behaviour().silent)
            continue;
        const qint64 readyNs = sentNs + scaled(d.behaviour().delayMs) * NsPerMs;
        const wire::Endpoint src{f.domainIndex, t.member->subnet, t.member->node};
        if (const ip852::ReceiveRecords::Record *record = d.repeated(message, now)) {
            // A repeat of a transaction the device has executed: nothing is done again;
            // the ACK or the response it kept goes out again (none when it was lost).
            if (record->answered) {
                const bool response = f.service == wire::Request && !record->answer.isEmpty();
                const qint64 due = answerDue(message, readyNs, response, record->answer);
                if (response)
                    from.enqueue(due, wire::response(f, uint8_t(record->answer[0]), record->answer.mid(1), src, host));
                ++answered;
                lastDue = std::max(lastDue, due);
            }
            continue;
        }
        // A message with the authentication bit is held while the device challenges the
        // interface; without a reply (no key) it is never delivered nor answered.
        bool authenticated = false;
        if (f.authenticated && f.service != wire::Unacknowledged) {
            const std::optional<bool> outcome = authenticate(from, f, d, *t.member);
            if (!outcome)
                continue;
            authenticated = *outcome;
        }
        if (f.service != wire::Request) {
            if (wire::isNvUpdate(f.code))
                applyUpdate(d, from, f, authenticated);
            else
                answerMessage(d, f.code, f.data, now, timeScale());
            if (f.service == wire::Acknowledged && !d.faultHits(DeviceState::Fault::Drop, f.code)) {
                d.keepAnswer(message, now, QByteArray());
                ++answered;
                lastDue = std::max(lastDue, answerDue(message, readyNs, false, QByteArray()));
            }
            continue;
        }
        if (wire::isNvUpdate(f.code)) {
            applyUpdate(d, from, f, authenticated);    // an update asks for no response
            continue;
        }
        const std::optional<Reply> reply = answerMessage(d, f.code, f.data, now, timeScale());
        if (!reply)
            continue;
        if (reply->code == wire::failureCode(f.code))
            d.count(&DeviceCounters::failureAnswers);
        if (d.faultHits(DeviceState::Fault::Drop, f.code)) {
            d.count(&DeviceCounters::dropped);     // the record keeps no answer: repeats go unanswered too
            continue;
        }
        bool lying = false;
        const Reply sent = spoilReply(d, f.code, *reply, lying);
        QByteArray frame = wire::response(f, sent.code, sent.data, src, host);
        if (lying)
            frame = wire::withLyingLength(frame, 40);
        else
            d.keepAnswer(message, now, QByteArray(1, char(sent.code)) + sent.data);
        const qint64 due = answerDue(message, readyNs, true, QByteArray(1, char(sent.code)) + sent.data);
        from.enqueue(due, frame);
        if (d.faultHits(DeviceState::Fault::Double, f.code))
            from.enqueue(due, frame);
        ++answered;
        lastDue = std::max(lastDue, due);
    }
    qint64 completed = now;
    if (f.service == wire::Unacknowledged || f.service == wire::UnackRepeat) {
        from.enqueue(heard, wire::completion(f, wire::Success));
    } else if (answered > 0) {
        from.enqueue(lastDue, wire::completion(f, wire::Success));
        completed = lastDue;
    } else {
        const qint64 timerMs = scaled(qint64(wire::transmitTimerMs(f.txTimer)));
        completed = now + timerMs * (f.retries + 1);
        // Every retry is on the channel too.
        for (int retry = 1; timed && retry <= f.retries; ++retry)
            completed = std::max(completed, ceilMs(m_channel.send(startNs + retry * timerMs * NsPerMs, frameBytes(message))));
        from.enqueue(completed, wire::completion(f, wire::Failure));
    }
    return completed;
}

void Network::advance()
{
    const qint64 now = this->now();
    traceLoad();
    for (auto &transfer : m_transfers)
        transfer->advance(now);
    std::erase_if(m_transfers, [](const auto &t) { return t->finished(); });
    for (DeviceState &d : m_devices) {
        if (d.behaviour().silent)
            continue;
        for (NvSlot &slot : d.slots()) {
            if (slot.nextUnsolicited < 0 || slot.nextUnsolicited > now)
                continue;
            sendUnsolicited(d, slot, slot.nextUnsolicited);
            const qint64 period = std::max<qint64>(1, scaled(d.variableOf(slot).unsolicited.periodMs));
            slot.nextUnsolicited = std::max(slot.nextUnsolicited + period, now + 1);
        }
    }
}

void Network::sendUnsolicited(DeviceState &d, NvSlot &slot, qint64 at)
{
    const QByteArray value = d.valueAt(slot, at, timeScale());
    QByteArray data(1, char(slot.selector & 0xFF));
    data += value;
    for (Interface *iface : m_interfaces) {
        for (const DomainAddress &m : d.model().domains) {
            const int index = iface->domainIndexOf(m.id);
            if (index < 0)
                continue;
            const DomainAddress &host = iface->domain(index).address;
            iface->enqueue(at, wire::incoming(wire::Acknowledged, iface->nextIncomingTag(),
                                               uint8_t(0x80 | ((slot.selector >> 8) & 0x3F)), data,
                                               {uint8_t(index), m.subnet, m.node},
                                               {uint8_t(index), host.subnet, host.node}));
            break;
        }
    }
    if (m_updateListener)
        m_updateListener(d, uint8_t(0x80 | ((slot.selector >> 8) & 0x3F)), data);
}

void Network::fileAcknowledged(Interface &from, const wire::HostFrame &f)
{
    if (f.address.size() < 5)
        return;
    fileAcknowledged(from, uint8_t(f.address[3]), uint8_t(f.address[4]) & 0x7F, f.tag);
}

void Network::fileAcknowledged(const PacketSink &sink, uint8_t subnet, uint8_t node, uint8_t tag)
{
    for (auto &transfer : m_transfers)
        if (&transfer->target() == &sink && transfer->acknowledge(subnet, node, tag, now()))
            return;
}

std::optional<bool> Network::authenticate(const Interface &from, const wire::HostFrame &f, DeviceState &d,
                                          const DomainAddress &member)
{
    // The device's fresh challenge, and the interface's reply to it computed with the key
    // it holds for the domain, checked against the device's own key.
    d.count(&DeviceCounters::challenges);
    const DomainEntry &entry = from.domain(f.domainIndex);
    if (!entry.hasKey)
        return std::nullopt;
    const QByteArray apdu = QByteArray(1, char(f.code)) + f.data;
    const lontalk::AuthBytes challenge = lontalk::newChallenge();
    return lontalk::authenticationReply(challenge, lontalk::authKeyOf(entry.authKey), apdu)
           == lontalk::authenticationReply(challenge, lontalk::authKeyOf(member.authKey()), apdu);
}

void Network::applyUpdate(DeviceState &d, Interface &from, const wire::HostFrame &f, bool authenticated)
{
    const UpdateOutcome outcome = applyNvUpdate(d, f.code, f.data, authenticated);
    if (outcome.fileRequest)
        fileRequested(d, outcome.value, from.domain(uint8_t(outcome.value[6]) >> 7).address.id, from);
}

// The file request: [mode, file high, file low, ..., domain/node of the receiver at 6,
// its subnet at 9]. Mode 0 starts a transfer, 2 ends it.
void Network::fileRequested(DeviceState &d, const QByteArray &value, const QByteArray &domainId, PacketSink &sink)
{
    if (value.size() < 10)
        return;
    std::erase_if(m_transfers, [&d](const auto &t) { return &t->device() == &d; });
    if (value[0] != 0)
        return;
    const int fileIndex = (uint8_t(value[1]) << 8) | uint8_t(value[2]);
    for (const DeviceFile &file : d.model().files) {
        if (file.index != fileIndex)
            continue;
        const DomainAddress *m = d.memberOf(domainId);
        if (!m)
            return;
        d.count(&DeviceCounters::fileTransfers);
        const uint8_t domainIndex = uint8_t(value[6]) >> 7;
        const wire::Endpoint src{domainIndex, m->subnet, m->node};
        const wire::Endpoint dst{domainIndex, uint8_t(value[9]), uint8_t(uint8_t(value[6]) & 0x7F)};
        const qint64 start = now() + scaled(d.behaviour().delayMs) + scaled(d.model().filePacketIntervalMs);
        m_transfers.push_back(std::make_unique<FileTransfer>(d, sink, file.data, src, dst, start,
                                                             scaled(d.model().filePacketIntervalMs),
                                                             std::max<qint64>(1, scaled(1000))));
        return;
    }
}

} // namespace lonsim
