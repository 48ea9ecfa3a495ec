#include "ldv/ipni/Transactions.h"

#include "lontalk/ip852/Timers.h"

namespace ldv::ni {

using ip852::AddressFormat;
using ip852::Pdu;

namespace {

enum HostService : uint8_t { Acknowledged = 0, UnackRepeat = 1, Unacknowledged = 2, Request = 3 };

QByteArray replierKey(const ip852::LonFrame &reply, bool withData)
{
    const ip852::LonAddress &a = reply.address;
    QByteArray key;
    key.append(char(a.sourceSubnet)).append(char(a.sourceNode)).append(char(a.groupReply ? 1 : 0)).append(char(a.member));
    if (withData)
        key.append(reply.apdu);
    return key;
}

} // namespace

Transactions::Transactions(Sink sink, std::shared_ptr<InterfaceTids> tids) : m_sink(std::move(sink)), m_tids(std::move(tids)) {}

bool Transactions::busy(const QByteArray &destination, bool priority) const
{
    for (const Tx &tx : m_open)
        if (tx.destination == destination && tx.frame.priority == priority)
            return true;
    return false;
}

void Transactions::submit(const HostMessage &message, const ip852::LonFrame &frame, int64_t now)
{
    Tx tx;
    tx.message = message;
    tx.frame = frame;
    tx.destination = ip852::TidTable::destinationKey(frame);
    const HostAddress &a = message.address;
    const int retries = message.frame.service == Unacknowledged ? 0 : a.retries;
    tx.attemptsLeft = 1 + retries;
    const int timerCode = a.txTimer + (a.longTimers ? 16 : 0);
    tx.intervalMs = ip852::transmitTimerMs(message.frame.service == UnackRepeat ? a.repeatTimer + (a.longTimers ? 16 : 0)
                                                                                : timerCode);
    switch (a.kind) {
    case HostAddress::Group:
        // The size counts the sender; size 0 is an open group, whose every answer is taken
        // until the retries run out.
        tx.expected = a.groupSize == 0 ? 0 : std::max(1, a.groupSize - 1);
        break;
    default:
        tx.expected = 1;
    }
    if (message.frame.service == Unacknowledged || !busy(tx.destination, frame.priority))
        start(std::move(tx), now);
    else
        m_waiting.push_back(std::move(tx));
}

void Transactions::start(Tx tx, int64_t now)
{
    ip852::LonFrame &f = tx.frame;
    switch (tx.message.frame.service) {
    case Acknowledged:
        f.pdu = Pdu::Tpdu;
        f.type = ip852::Ackd;
        break;
    case UnackRepeat:
        f.pdu = Pdu::Tpdu;
        f.type = ip852::UnackdRpt;
        break;
    case Request:
        f.pdu = Pdu::Spdu;
        f.type = ip852::Request;
        break;
    default:
        f.pdu = Pdu::Apdu;
        break;
    }
    if (f.pdu != Pdu::Apdu)
        f.tid = m_tids->next(tx.destination, f.priority, now);
    m_open.push_back(std::move(tx));
    auto it = std::prev(m_open.end());
    transmit(*it, now);
    if (it->message.frame.service == Unacknowledged)
        complete(it, true, now);
}

void Transactions::transmit(Tx &tx, int64_t now)
{
    ip852::LonFrame f = tx.frame;
    const HostAddress &a = tx.message.address;
    const int retriesLeft = tx.attemptsLeft - 1;
    const bool first = tx.attemptsLeft == 1 + (tx.message.frame.service == Unacknowledged ? 0 : a.retries);
    f.alternatePath = tx.message.pathSpecified ? tx.message.alternatePath : retriesLeft < 2 && !first;
    if (tx.message.frame.service == UnackRepeat)
        f.backlog = first ? a.retries : 0;
    else if (a.kind == HostAddress::Broadcast)
        f.backlog = a.backlog ? a.backlog : 15;
    else if (tx.message.frame.service == Unacknowledged)
        f.backlog = 0;
    else
        f.backlog = uint8_t(std::min(63, tx.expected ? tx.expected : 63));
    if (!first && a.kind == HostAddress::Group && !tx.membersHeard.isEmpty() && f.pdu != Pdu::Apdu) {
        // Members that answered already are listed, so they answer without taking it again.
        f.type = f.pdu == Pdu::Tpdu ? uint8_t(ip852::TRemMsg) : uint8_t(ip852::SRemMsg);
        f.memberList = tx.membersHeard;
    }
    m_sink.send(f);
    --tx.attemptsLeft;
    tx.due = now + tx.intervalMs;
}

bool Transactions::matches(const Tx &tx, const ip852::LonFrame &reply) const
{
    const ip852::LonFrame &f = tx.frame;
    if (f.pdu == Pdu::Apdu || reply.pdu != f.pdu || reply.tid != f.tid || reply.priority != f.priority
        || reply.domain != f.domain)
        return false;
    if ((f.pdu == Pdu::Tpdu && reply.type != ip852::Ack) || (f.pdu == Pdu::Spdu && reply.type != ip852::Response))
        return false;
    if (tx.message.frame.service == UnackRepeat)
        return false;
    const ip852::LonAddress &r = reply.address;
    if (r.format != AddressFormat::SubnetNode || r.subnet != f.address.sourceSubnet || r.node != f.address.sourceNode)
        return false;
    return fromDestination(tx, r);
}

bool Transactions::fromDestination(const Tx &tx, const ip852::LonAddress &r)
{
    const ip852::LonFrame &f = tx.frame;
    switch (f.address.format) {
    case AddressFormat::SubnetNode:
        return !r.groupReply && r.sourceSubnet == f.address.subnet && r.sourceNode == f.address.node;
    case AddressFormat::Group:
        return r.groupReply && r.group == f.address.group;
    default:
        return true;    // Neuron ID and broadcast answers may come from any address, even 0/0
    }
}

std::optional<Transactions::Challenged> Transactions::challenged(const ip852::LonFrame &c, int64_t now)
{
    for (Tx &tx : m_open) {
        const ip852::LonFrame &f = tx.frame;
        if (f.pdu == Pdu::Apdu || !f.authenticated || c.tid != f.tid || c.priority != f.priority || c.domain != f.domain
            || c.authFormat != uint8_t(f.address.format) || !fromDestination(tx, c.address))
            continue;
        // The challenge does not use up a retry; the sender waits a transmit timer for the
        // answer that follows the reply.
        tx.due = now + tx.intervalMs;
        return Challenged{f, tx.message.address.domainIndex};
    }
    return std::nullopt;
}

bool Transactions::reply(const ip852::LonFrame &reply, int64_t now)
{
    for (auto it = m_open.begin(); it != m_open.end(); ++it) {
        Tx &tx = *it;
        if (!matches(tx, reply))
            continue;
        const bool broadcast = tx.frame.address.format == AddressFormat::Broadcast;
        if (!tx.heard.insert(replierKey(reply, broadcast)).second)
            return true;    // this replier was counted already
        if (reply.address.groupReply) {
            const int member = reply.address.member & 0x3F;
            if (tx.membersHeard.size() <= member / 8)
                tx.membersHeard.resize(member / 8 + 1, '\0');
            tx.membersHeard[member / 8] = char(tx.membersHeard[member / 8] | (1 << (member % 8)));
        }
        if (tx.frame.pdu == Pdu::Spdu)
            m_sink.toHost(responseFrame(tx.message.frame.tag, tx.message.address.domainIndex, reply));
        // A broadcast stays open for the rest of the transmit timer, taking every answer.
        if (!broadcast && tx.expected > 0 && int(tx.heard.size()) >= tx.expected)
            complete(it, true, now);
        return true;
    }
    return false;
}

void Transactions::tick(int64_t now)
{
    for (auto it = m_open.begin(); it != m_open.end();) {
        auto current = it++;
        Tx &tx = *current;
        if (tx.due > now)
            continue;
        const bool answered = !tx.heard.empty();
        const bool collecting = tx.frame.address.format == AddressFormat::Broadcast || tx.expected == 0;
        if (tx.message.frame.service == UnackRepeat) {
            if (tx.attemptsLeft > 0)
                transmit(tx, now);
            else
                complete(current, true, now);
        } else if (collecting && answered && (tx.frame.address.format == AddressFormat::Broadcast || tx.attemptsLeft == 0)) {
            complete(current, true, now);
        } else if (tx.attemptsLeft > 0) {
            transmit(tx, now);
        } else {
            complete(current, false, now);
        }
    }
}

void Transactions::complete(std::list<Tx>::iterator it, bool success, int64_t now)
{
    const Tx tx = *it;
    m_open.erase(it);
    m_sink.toHost(completionFrame(tx.message, success));
    if (tx.frame.pdu == Pdu::Apdu)
        return;
    m_tids->finished(tx.destination, tx.frame.priority, tx.frame.tid, now);
    for (auto w = m_waiting.begin(); w != m_waiting.end(); ++w)
        if (w->destination == tx.destination && w->frame.priority == tx.frame.priority) {
            Tx next = std::move(*w);
            m_waiting.erase(w);
            start(std::move(next), now);
            break;
        }
}

} // namespace ldv::ni
