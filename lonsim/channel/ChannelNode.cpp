#include "lonsim/channel/ChannelNode.h"

#include "lontalk/ip852/AuthFrames.h"

#include <QRandomGenerator>
#include <algorithm>

namespace lonsim::channel {

namespace {
constexpr int MaxHosts = 8;
constexpr int TidHoldMs = 3000;

QByteArray apduOf(uint8_t code, const QByteArray &data)
{
    return QByteArray(1, char(code)) + data;
}
} // namespace

ip852::LonFrame replyTo(const ip852::LonFrame &message, const DomainAddress &me, bool response, const QByteArray &apdu)
{
    ip852::LonFrame r;
    r.priority = message.priority;
    r.pdu = response ? ip852::Pdu::Spdu : ip852::Pdu::Tpdu;
    r.type = response ? uint8_t(ip852::Response) : uint8_t(ip852::Ack);
    r.tid = message.tid;
    r.address.format = ip852::AddressFormat::SubnetNode;
    r.address.sourceSubnet = me.subnet;
    r.address.sourceNode = me.node & 0x7F;
    r.address.subnet = message.address.sourceSubnet;
    r.address.node = message.address.sourceNode & 0x7F;
    r.domain = message.domain;
    r.apdu = response ? apdu : QByteArray();
    return r;
}

ChannelNode::ChannelNode(Network &network, DeviceState &device, FrameOutput &output)
    : m_network(network), m_device(device), m_output(output),
      m_tids(uint8_t(QRandomGenerator::global()->bounded(1, 16)))
{
}

qint64 ChannelNode::due(int answerBytes)
{
    const qint64 delay = m_network.scaled(m_device.behaviour().delayMs);
    if (!m_network.channel().timed())
        return m_network.now() + delay;
    // Behind a router on a timed channel: the message and then the answer take their turn on it.
    const qint64 end = m_network.occupyChannel(m_heardNs + delay * 1'000'000, answerBytes);
    return (end + 999'999) / 1'000'000;
}

bool ChannelNode::addressedTo(const ip852::LonFrame &f, const DomainAddress &me) const
{
    switch (f.address.format) {
    case ip852::AddressFormat::Broadcast:
        return f.address.subnet == 0 || f.address.subnet == me.subnet;
    case ip852::AddressFormat::SubnetNode:
        return !f.address.groupReply && f.address.subnet == me.subnet && f.address.node == me.node;
    case ip852::AddressFormat::NeuronId:
        return std::equal(f.address.neuronId.begin(), f.address.neuronId.end(), m_device.model().neuronId.begin());
    case ip852::AddressFormat::Group:
        return false;   // simulated devices belong to no group
    }
    return false;
}

void ChannelNode::receive(const ip852::LonFrame &f)
{
    if (m_device.behaviour().silent)
        return;
    const DomainAddress *me = m_device.memberOf(f.domain);
    if (!me)
        return;
    if (f.isReply()) {
        replyReceived(f, *me);
        return;
    }
    if (ip852::isAuthReply(f)) {
        authReplyReceived(f, *me);
        return;
    }
    if (!addressedTo(f, *me) || f.pdu == ip852::Pdu::AuthPdu || f.hasReminder() || f.apdu.isEmpty())
        return;
    rememberHost(f);
    m_heardNs = m_network.occupyChannel(m_network.nowNs(), int(ip852::buildFrame(f).size()));
    const qint64 now = m_network.now();
    if (const ip852::ReceiveRecords::Record *record = m_device.repeated(f, now)) {
        ++m_counters.duplicates;
        m_challenges.repeated(f, now, ip852::ReceiveRecords::lifetimeFor(f));
        if (record->answered) {
            ++m_counters.resent;
            m_output.transmit(now, {record->answer}, false);
        }
        return;
    }
    if (f.authenticated && f.pdu != ip852::Pdu::Apdu) {
        challenge(f, *me);
        return;
    }
    ++m_counters.delivered;
    deliver(f, *me, false);
}

void ChannelNode::challenge(const ip852::LonFrame &f, const DomainAddress &me)
{
    // Nothing of the message takes effect before its sender proves the key: it waits
    // for the reply as long as its receive record lives, and a repeat gets the same
    // challenge again.
    m_device.count(&DeviceCounters::challenges);
    const qint64 now = m_network.now();
    const QByteArray frame = ip852::buildFrame(
        m_challenges.challenge(f, 0, me.subnet, me.node & 0x7F, now, ip852::ReceiveRecords::lifetimeFor(f)));
    m_device.keepAnswer(f, now, frame);
    m_output.transmit(now, {frame}, false);
}

void ChannelNode::authReplyReceived(const ip852::LonFrame &f, const DomainAddress &me)
{
    if (f.address.format != ip852::AddressFormat::SubnetNode || f.address.subnet != me.subnet
        || f.address.node != (me.node & 0x7F))
        return;
    const std::optional<ip852::Challenges::Released> released =
        m_challenges.reply(f, 0, lontalk::authKeyOf(me.authKey()), m_network.now());
    if (!released)
        return;     // late, or for no message held
    ++m_counters.delivered;
    deliver(released->message, me, released->authentic);
}

void ChannelNode::deliver(const ip852::LonFrame &f, const DomainAddress &me, bool authenticated)
{
    const uint8_t code = f.code();
    const bool acknowledged = f.pdu == ip852::Pdu::Tpdu && f.type == ip852::Ackd;
    const bool request = f.pdu == ip852::Pdu::Spdu && f.type == ip852::Request;
    if (lontalk::wire::isNvUpdate(code)) {
        const UpdateOutcome outcome = applyNvUpdate(m_device, code, f.data(), authenticated);
        if (outcome.fileRequest) {
            m_fileDomain = f.domain;
            m_network.fileRequested(m_device, outcome.value, f.domain, *this);
        }
        if (acknowledged)
            acknowledge(f, me);     // an update sent as a request asks for no response
        return;
    }
    if (request) {
        answerRequest(f, me);
        return;
    }
    answerMessage(m_device, code, f.data(), m_network.now(), m_network.timeScale());
    if (acknowledged)
        acknowledge(f, me);
}

void ChannelNode::answerRequest(const ip852::LonFrame &f, const DomainAddress &me)
{
    const uint8_t code = f.code();
    const std::optional<Reply> reply = answerMessage(m_device, code, f.data(), m_network.now(), m_network.timeScale());
    if (!reply)
        return;
    if (reply->code == lontalk::wire::failureCode(code))
        m_device.count(&DeviceCounters::failureAnswers);
    if (m_device.faultHits(DeviceState::Fault::Drop, code)) {
        m_device.count(&DeviceCounters::dropped);      // the record keeps no answer: repeats go unanswered too
        return;
    }
    bool lying = false;
    const Reply spoilt = spoilReply(m_device, code, *reply, lying);
    const QByteArray frame = ip852::buildFrame(replyTo(f, me, true, apduOf(spoilt.code, spoilt.data)));
    const int copies = m_device.faultHits(DeviceState::Fault::Double, code) ? 2 : 1;
    sendAnswer(f, frame, copies, lying, !lying);
}

void ChannelNode::acknowledge(const ip852::LonFrame &f, const DomainAddress &me)
{
    if (m_device.faultHits(DeviceState::Fault::Drop, f.code()))
        return;
    sendAnswer(f, ip852::buildFrame(replyTo(f, me, false)), 1, false, true);
}

void ChannelNode::sendAnswer(const ip852::LonFrame &request, const QByteArray &answer, int copies, bool lyingSize,
                             bool keep)
{
    QList<QByteArray> frames;
    for (int i = 0; i < copies; ++i)
        frames.append(answer);
    std::function<void()> sent;
    if (keep) {
        sent = [this, request, answer] { m_device.keepAnswer(request, m_network.now(), answer); };
    }
    m_output.transmit(due(int(answer.size())), frames, lyingSize, std::move(sent));
}

void ChannelNode::replyReceived(const ip852::LonFrame &f, const DomainAddress &me)
{
    if (f.address.format != ip852::AddressFormat::SubnetNode || f.address.subnet != me.subnet
        || f.address.node != me.node)
        return;
    if (f.pdu != ip852::Pdu::Spdu || f.type != ip852::Response || f.tid != m_fileTid)
        return;
    ip852::LonFrame sent;
    sent.address.format = ip852::AddressFormat::SubnetNode;
    sent.address.sourceSubnet = me.subnet;
    sent.address.sourceNode = me.node & 0x7F;
    sent.address.subnet = f.address.sourceSubnet;
    sent.address.node = f.address.sourceNode;
    sent.domain = f.domain;
    m_tids.finished(ip852::TidTable::destinationKey(sent), f.priority, f.tid, m_network.now(), TidHoldMs);
    m_fileTid = -1;
    m_network.fileAcknowledged(*this, me.subnet, me.node, f.tid);
}

void ChannelNode::rememberHost(const ip852::LonFrame &f)
{
    const Host host{f.domain, f.address.sourceSubnet, uint8_t(f.address.sourceNode & 0x7F)};
    if (m_hosts.contains(host))
        return;
    if (m_hosts.size() >= MaxHosts)
        m_hosts.removeFirst();
    m_hosts.append(host);
}

void ChannelNode::sendUpdate(uint8_t code, const QByteArray &data)
{
    if (m_device.behaviour().silent)
        return;
    const qint64 now = m_network.now();
    for (const Host &host : std::as_const(m_hosts)) {
        const DomainAddress *me = m_device.memberOf(host.domain);
        if (!me)
            continue;
        ip852::LonFrame m;
        m.pdu = ip852::Pdu::Tpdu;
        m.type = ip852::Ackd;
        m.backlog = 1;
        m.address.format = ip852::AddressFormat::SubnetNode;
        m.address.sourceSubnet = me->subnet;
        m.address.sourceNode = me->node & 0x7F;
        m.address.subnet = host.subnet;
        m.address.node = host.node;
        m.domain = host.domain;
        m.apdu = apduOf(code, data);
        const QByteArray key = ip852::TidTable::destinationKey(m);
        m.tid = m_tids.next(key, false, now);
        m_tids.finished(key, false, m.tid, now, TidHoldMs);   // sent once; the ACK is not awaited
        m_output.transmit(now, {ip852::buildFrame(m)}, false);
    }
}

uint8_t ChannelNode::sendFilePacket(qint64 due, bool request, bool resend, const QByteArray &payload,
                                    const lontalk::wire::Endpoint &source, const lontalk::wire::Endpoint &destination)
{
    ip852::LonFrame m;
    m.address.format = ip852::AddressFormat::SubnetNode;
    m.address.sourceSubnet = source.subnet;
    m.address.sourceNode = source.node & 0x7F;
    m.address.subnet = destination.subnet;
    m.address.node = destination.node & 0x7F;
    m.domain = m_fileDomain;
    m.apdu = apduOf(lontalk::wire::FilePacketCode, payload);
    if (request) {
        m.pdu = ip852::Pdu::Spdu;
        m.type = ip852::Request;
        m.backlog = 1;
        if (!resend || m_fileTid < 0)
            m_fileTid = m_tids.next(ip852::TidTable::destinationKey(m), false, m_network.now());
        m.tid = uint8_t(m_fileTid);
    } else {
        m.pdu = ip852::Pdu::Apdu;
    }
    m_output.transmit(due, {ip852::buildFrame(m)}, false);
    return request ? uint8_t(m_fileTid) : 0;
}

} // namespace lonsim::channel
