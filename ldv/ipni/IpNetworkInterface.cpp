#include "ldv/ipni/IpNetworkInterface.h"

#include "ldv/ldv32.h"
#include "lonsim/Trace.h"
#include "lontalk/DeviceImage.h"
#include "lontalk/ip852/AuthFrames.h"
#include "lontalk/ip852/Timers.h"

#include <QDeadlineTimer>
#include <QThread>

#include <cstring>

namespace ldv::ni {

using ip852::AddressFormat;
using ip852::Pdu;

IpNetworkInterface::IpNetworkInterface(QString name, const IpChannelConfig &config, InterfaceClock clock)
    : m_name(std::move(name)), m_config(config), m_clock(clock ? std::move(clock) : InterfaceClock(monotonicMs))
{
    m_domains[0] = config.domains[0];
    m_domains[1] = config.domains[1];
    lontalk::ReadOnlyFields fields;
    std::copy(config.neuronId.begin(), config.neuronId.end(), fields.neuronId.begin());
    std::copy(config.programId.begin(), config.programId.end(), fields.programId.begin());
    fields.model = config.model;
    fields.selfDocAddress = 0xFFFF;
    m_readOnly = lontalk::readOnlyStructure(fields);
    // The interface's TIDs outlive this handle: the next handle on it (in this process or,
    // through the state file, in the next run) never repeats a destination's last TID
    // while the device may still hold it.
    m_tids = InterfaceTids::of(m_name, now());
    m_transactions = std::make_unique<Transactions>(
        Transactions::Sink{[this](const ip852::LonFrame &f) { sendFrame(f); },
                           [this](const QByteArray &frame) { toHost(frame); }},
        m_tids);
}

IpNetworkInterface::~IpNetworkInterface()
{
    m_tids->save(now(), true);
    if (m_channel)
        m_channel->unsubscribe(m_reader);
}

bool IpNetworkInterface::open(QString &error)
{
    m_channel = IpChannel::obtain(m_name, m_config, now(), error);
    if (!m_channel)
        return false;
    m_reader = m_channel->subscribe();
    // On a channel run by a configuration server the members are known once the server
    // has answered, or at once when they were kept from the last open: the first
    // transactions wait for that, up to JoinWaitMs.
    const QDeadlineTimer deadline(JoinWaitMs);
    while (!m_channel->knowsChannel() && !deadline.hasExpired()) {
        service();
        QThread::msleep(2);
    }
    return true;
}

QString IpNetworkInterface::describe() const
{
    const IpChannel::Counters &c = m_channel->counters();
    return QStringLiteral("%1 on IP-852 (session %2): sent %3, received %4, dropped own %5 stranger %6 "
                          "duplicate %7 bad %8; transactions open %9, frames waiting %10")
        .arg(m_name)
        .arg(m_channel->session(), 8, 16, QLatin1Char('0'))
        .arg(c.sent)
        .arg(c.received)
        .arg(c.ownDropped)
        .arg(c.strangerDropped)
        .arg(c.duplicateDropped)
        .arg(c.badDropped)
        .arg(m_transactions->open())
        .arg(m_toHost.size())
        + (m_channel->memberState().isEmpty() ? QString() : QStringLiteral("; ") + m_channel->memberState());
}

void IpNetworkInterface::service()
{
    const int64_t t = now();
    for (const QByteArray &bytes : m_channel->receive(m_reader, t))
        received(bytes);
    m_channel->tick(t);
    m_transactions->tick(t);
    m_records.expire(t);
    m_tids->save(t);
    m_channel->flush();
}

short IpNetworkInterface::read(uint8_t *buffer, int length)
{
    service();
    return readStatus(m_toHost.take(buffer, length));
}

short IpNetworkInterface::write(const uint8_t *bytes, int length)
{
    const std::optional<HostMessage> message = parseHostMessage(bytes, length);
    if (!message)
        return LDV_INVALID_BUF_LEN;
    service();
    if (message->isLocal())
        local(*message);
    else if (message->frame.command != 1)
        ;   // reset, flush and the other interface commands have nothing to do here
    else if (message->frame.response)
        respond(*message);
    else
        m_transactions->submit(*message, outgoingFrame(*message), now());
    m_channel->flush();
    return LDV_OK;
}

void IpNetworkInterface::toHost(const QByteArray &frame)
{
    m_toHost.push(frame);
}

void IpNetworkInterface::sendFrame(const ip852::LonFrame &frame)
{
    const QByteArray bytes = ip852::buildFrame(frame);
    if (!bytes.isEmpty())
        m_channel->send(bytes);
}

ip852::LonFrame IpNetworkInterface::outgoingFrame(const HostMessage &m) const
{
    const HostAddress &a = m.address;
    const IpDomainSetting &d = m_domains[a.domainIndex & 1];
    ip852::LonFrame f;
    f.priority = m.priority;
    f.domain = d.id;
    f.address.sourceSubnet = d.subnet;
    f.address.sourceNode = d.node & 0x7F;
    switch (a.kind) {
    case HostAddress::SubnetNode:
        f.address.format = AddressFormat::SubnetNode;
        f.address.subnet = a.subnet;
        f.address.node = a.node;
        break;
    case HostAddress::NeuronId:
        f.address.format = AddressFormat::NeuronId;
        f.address.subnet = a.subnet;
        f.address.neuronId = a.neuronId;
        break;
    case HostAddress::Broadcast:
        f.address.format = AddressFormat::Broadcast;
        f.address.subnet = a.subnet;
        break;
    default:
        f.address.format = AddressFormat::Group;
        f.address.group = a.group;
        break;
    }
    f.apdu = QByteArray(1, char(m.frame.code)) + m.frame.data;
    f.authenticated = m.frame.authenticated;
    return f;
}

void IpNetworkInterface::trace(const QString &line) const
{
    lonsim::traceText(m_name + QStringLiteral("@ip852"), line);
}

int IpNetworkInterface::domainIndexOf(const QByteArray &domain) const
{
    for (int i = 0; i < 2; ++i)
        if (m_domains[i].subnet != 0 && m_domains[i].id == domain)
            return i;
    return -1;
}

bool IpNetworkInterface::addressedToUs(const ip852::LonFrame &f, uint8_t index) const
{
    const IpDomainSetting &d = m_domains[index];
    const ip852::LonAddress &a = f.address;
    switch (a.format) {
    case AddressFormat::SubnetNode:
        return a.subnet == d.subnet && a.node == (d.node & 0x7F);
    case AddressFormat::NeuronId:
        return std::equal(a.neuronId.begin(), a.neuronId.end(), m_config.neuronId.begin());
    case AddressFormat::Broadcast:
        return a.subnet == 0 || a.subnet == d.subnet;
    case AddressFormat::Group:
        return false;   // the interface belongs to no group
    }
    return false;
}

void IpNetworkInterface::received(const QByteArray &bytes)
{
    const std::optional<ip852::LonFrame> frame = ip852::parseFrame(bytes);
    if (!frame)
        return;
    const int index = domainIndexOf(frame->domain);
    if (index < 0)
        return;
    if (frame->pdu == Pdu::AuthPdu) {
        // Challenges and replies come in form 2a (2b from a group member) to our address.
        const AddressFormat format = frame->address.format;
        if ((format != AddressFormat::SubnetNode && format != AddressFormat::NeuronId)
            || !addressedToUs(*frame, uint8_t(index)))
            return;
        if (ip852::isChallenge(*frame))
            challengeReceived(*frame);
        else if (ip852::isAuthReply(*frame))
            authReplyReceived(*frame, uint8_t(index));
        return;
    }
    if (frame->isReply()) {
        const IpDomainSetting &d = m_domains[index];
        if (frame->address.subnet == d.subnet && frame->address.node == (d.node & 0x7F))
            m_transactions->reply(*frame, now());
        return;
    }
    if (frame->address.sourceSubnet == m_domains[index].subnet && frame->address.sourceNode == (m_domains[index].node & 0x7F)
        && frame->address.format != AddressFormat::SubnetNode)
        return;     // our own broadcast or Neuron-ID message come back through another member
    if (addressedToUs(*frame, uint8_t(index)))
        incoming(*frame, uint8_t(index));
}

ip852::LonFrame IpNetworkInterface::replyTo(const ip852::LonFrame &request, uint8_t index) const
{
    ip852::LonFrame r;
    r.priority = request.priority;
    r.pdu = request.pdu;
    r.type = request.pdu == Pdu::Tpdu ? uint8_t(ip852::Ack) : uint8_t(ip852::Response);
    r.tid = request.tid;
    r.domain = request.domain;
    r.address.format = AddressFormat::SubnetNode;
    r.address.sourceSubnet = m_domains[index].subnet;
    r.address.sourceNode = m_domains[index].node & 0x7F;
    r.address.subnet = request.address.sourceSubnet;
    r.address.node = request.address.sourceNode;
    return r;
}

void IpNetworkInterface::incoming(const ip852::LonFrame &f, uint8_t index)
{
    if (f.type == ip852::TReminder && f.pdu != Pdu::Apdu)
        return;     // a reminder alone concerns group members only
    const int64_t t = now();
    if (f.pdu != Pdu::Apdu) {
        if (m_records.check(f, t, ip852::ReceiveRecords::lifetimeFor(f)) == ip852::ReceiveRecords::Verdict::Duplicate) {
            // The stored ACK or RESPONSE goes again; while we wait for the sender's
            // reply, that is the same challenge.
            m_challenges.repeated(f, t, ip852::ReceiveRecords::lifetimeFor(f));
            const ip852::ReceiveRecords::Record *record = m_records.find(f, t);
            if (record && record->answered)
                m_channel->send(record->answer);
            return;
        }
        if (f.authenticated && m_domains[index].hasKey) {
            challenge(f, index, t);
            return;
        }
    }
    deliver(f, index, false);
}

void IpNetworkInterface::deliver(const ip852::LonFrame &f, uint8_t index, bool authenticated)
{
    uint8_t tag = 0;
    if (f.pdu == Pdu::Spdu) {
        m_nextTag = (m_nextTag + 1) & 0x0F;
        tag = m_nextTag;
        m_pending[tag] = PendingRequest{f, index, true};
    }
    toHost(incomingFrame(tag, index, f, authenticated));
    if (f.pdu == Pdu::Tpdu && f.type != ip852::UnackdRpt) {
        const QByteArray ack = ip852::buildFrame(replyTo(f, index));
        m_channel->send(ack);
        m_records.keepAnswer(f, now(), ack);
    }
}

void IpNetworkInterface::challenge(const ip852::LonFrame &f, uint8_t index, int64_t t)
{
    const IpDomainSetting &d = m_domains[index];
    const QByteArray bytes = ip852::buildFrame(
        m_challenges.challenge(f, index, d.subnet, d.node & 0x7F, t, ip852::ReceiveRecords::lifetimeFor(f)));
    m_channel->send(bytes);
    m_records.keepAnswer(f, t, bytes);      // a repeat gets the same challenge
    trace(QStringLiteral("challenge to %1/%2 for its message with TID %3").arg(f.address.sourceSubnet).arg(f.address.sourceNode).arg(f.tid));
}

void IpNetworkInterface::authReplyReceived(const ip852::LonFrame &r, uint8_t index)
{
    const std::optional<ip852::Challenges::Released> released =
        m_challenges.reply(r, index, lontalk::authKeyOf(m_domains[index].key), now());
    if (!released)
        return;
    const ip852::LonFrame &m = released->message;
    trace(QStringLiteral("reply from %1/%2: %3").arg(m.address.sourceSubnet).arg(m.address.sourceNode)
              .arg(released->authentic ? QStringLiteral("authentic") : QStringLiteral("wrong key, delivered as not authenticated")));
    deliver(m, index, released->authentic);
}

void IpNetworkInterface::challengeReceived(const ip852::LonFrame &c)
{
    const auto bytes = ip852::authBytesOf(c);
    if (!bytes)
        return;     // malformed: it must not hold back the transaction's retries
    const std::optional<Transactions::Challenged> open = m_transactions->challenged(c, now());
    if (!open)
        return;     // a late challenge, or one to a message we did not send
    const IpDomainSetting &d = m_domains[open->domainIndex & 1];
    if (!d.hasKey) {
        trace(QStringLiteral("challenge from %1/%2 not answered: domain %3 has no authentication key")
                  .arg(c.address.sourceSubnet).arg(c.address.sourceNode).arg(open->domainIndex));
        return;
    }
    const lontalk::AuthBytes reply = lontalk::authenticationReply(*bytes, lontalk::authKeyOf(d.key), open->message.apdu);
    m_channel->send(ip852::buildFrame(ip852::replyFrame(c, open->message, reply)));
    trace(QStringLiteral("challenge from %1/%2 answered (TID %3)").arg(c.address.sourceSubnet).arg(c.address.sourceNode).arg(c.tid));
}

void IpNetworkInterface::respond(const HostMessage &m)
{
    PendingRequest &p = m_pending[m.frame.tag & 0x0F];
    if (!p.used)
        return;     // no request waits under that tag (answered already, or never given)
    p.used = false;
    ip852::LonFrame r = replyTo(p.request, p.domainIndex);
    r.apdu = QByteArray(1, char(m.frame.code)) + m.frame.data;
    const QByteArray bytes = ip852::buildFrame(r);
    m_channel->send(bytes);
    m_records.keepAnswer(p.request, now(), bytes);
}

} // namespace ldv::ni
