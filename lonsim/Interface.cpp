#include "lonsim/Interface.h"

#include "lonsim/Network.h"
#include "lonsim/Trace.h"
#include "lontalk/DeviceImage.h"

#include <algorithm>

namespace lonsim {

namespace wire = lontalk::wire;

namespace {
// How many bytes of the key at `at` (0: none there) a trace hides: five after the first,
// none when the key is six zero bytes (no key set).
int hiddenKeyBytes(const uint8_t *frame, int at)
{
    if (at == 0 || std::all_of(frame + at, frame + at + 6, [](uint8_t b) { return b == 0; }))
        return 0;
    return 5;
}
} // namespace

Interface::Interface(Network &network, QString label) : m_network(network), m_label(std::move(label))
{
    const InterfaceModel &model = network.model().iface;
    for (int i = 0; i < 2; ++i) {
        m_domains[i].address = model.domains[std::size_t(i)];
        m_domains[i].hasKey = !model.domains[std::size_t(i)].key.isEmpty();
        m_domains[i].authKey = model.domains[std::size_t(i)].authKey();
    }
    lontalk::ReadOnlyFields fields;
    fields.neuronId = model.neuronId;
    fields.programId = model.programId;
    fields.model = model.model;
    fields.minorModel = model.minorModel;
    m_readOnly = lontalk::readOnlyStructure(fields);
    m_network.attach(this);
}

Interface::~Interface()
{
    m_network.detach(this);
}

int Interface::domainIndexOf(const QByteArray &domainId) const
{
    for (int i = 0; i < 2; ++i)
        if (m_domains[i].address.sameDomain(domainId))
            return i;
    return -1;
}

bool Interface::write(const uint8_t *bytes, int length)
{
    const auto frame = wire::parseHostFrame(bytes, length);
    if (!frame) {
        traceFrame(m_label, "refused", bytes, std::clamp(length, 0, wire::MaxFrameLength));
        return false;
    }
    // Update Domain carries the domain's authentication key (bytes 27..32), and Query
    // Domain's answer (26..31): the trace shows its first byte only.
    const int key = frame->isLocal() && frame->code == wire::UpdateDomain && length >= 33 ? 27 : 0;
    traceFrame(m_label, "write", bytes, length, key + 1, hiddenKeyBytes(bytes, key));
    m_network.advance();
    if (frame->isLocal())
        local(*frame);
    else
        m_network.transact(*this, *frame);
    m_network.setDirty(true);
    return true;
}

lontalk::HostRead Interface::read(uint8_t *buffer, int length)
{
    m_network.advance();
    QByteArray frame;
    const lontalk::HostRead result = m_queue.take(buffer, length, &frame, m_network.now());
    if (result == lontalk::HostRead::TooSmall)
        traceFrame(m_label, "refused", reinterpret_cast<const uint8_t *>(frame.constData()), int(frame.size()));
    else if (result == lontalk::HostRead::Frame) {
        const int size = int(frame.size());
        const int key = size >= 32 && (buffer[3] & 0x01) && buffer[16] == wire::successCode(wire::QueryDomain) ? 26 : 0;
        traceFrame(m_label, "read", buffer, size, key + 1, hiddenKeyBytes(buffer, key));
    }
    return result;
}

void Interface::enqueue(qint64 due, const QByteArray &frame)
{
    m_queue.push(frame, due);
}

uint8_t Interface::nextIncomingTag()
{
    m_incomingTag = (m_incomingTag + 1) & 0x0F;
    return m_incomingTag;
}

uint8_t Interface::sendFilePacket(qint64 due, bool request, bool, const QByteArray &payload,
                                  const wire::Endpoint &source, const wire::Endpoint &destination)
{
    const uint8_t tag = nextIncomingTag();
    enqueue(due, wire::incoming(request ? wire::Request : wire::Unacknowledged, tag, wire::FilePacketCode, payload,
                                source, destination));
    return tag;
}

void Interface::local(const wire::HostFrame &frame)
{
    uint8_t code = wire::failureCode(frame.code);
    const std::optional<QByteArray> data = localAnswer(frame, code);
    if (!data)
        return;
    const Behaviour &b = m_network.model().iface.behaviour;
    if (b.silent || faultHits(b.drop, frame.code, m_localSeen[0]))
        return;
    Reply answer{code, *data};
    bool lying = false;
    if (faultHits(b.malformed, frame.code, m_localSeen[2])) {
        lying = b.malformKind == MalformKind::LyingLength;
        answer = spoilByKind(b.malformKind, answer);
    }
    const wire::Endpoint self{0, m_domains[0].address.subnet, m_domains[0].address.node};
    QByteArray reply = wire::response(frame, answer.code, answer.data, self, self);
    if (frame.authenticated)
        reply[2] = char(uint8_t(reply[2]) | 0x10);     // the answer keeps the request's authentication bit
    if (lying)
        reply = wire::withLyingLength(reply, 40);
    const qint64 due = m_network.now() + m_network.scaled(b.delayMs);
    enqueue(due, reply);
    if (faultHits(b.doubled, frame.code, m_localSeen[1]))
        enqueue(due, reply);
}

// The answer data of a local command; code becomes the success code when it succeeds.
std::optional<QByteArray> Interface::localAnswer(const wire::HostFrame &frame, uint8_t &code)
{
    const QByteArray &d = frame.data;
    switch (frame.code) {
    case wire::ReadMemory: {
        // Mode 0: absolute address; mode 1: offset into the read-only structure.
        if (d.size() != 4 || uint8_t(d[0]) > 1)
            return QByteArray();
        const int address = (uint8_t(d[1]) << 8) + uint8_t(d[2]) + (d[0] == 1 ? lontalk::ReadOnlyAddress : 0);
        const int count = uint8_t(d[3]);
        if (address < lontalk::ReadOnlyAddress || address + count > lontalk::ReadOnlyAddress + lontalk::ReadOnlyLength)
            return QByteArray();
        code = wire::successCode(frame.code);
        return m_readOnly.mid(address - lontalk::ReadOnlyAddress, count);
    }
    case wire::QueryDomain: {
        if (d.size() != 1 || uint8_t(d[0]) > 1)
            return QByteArray();
        const DomainEntry &e = m_domains[uint8_t(d[0])];
        QByteArray out = e.address.id.leftJustified(6, '\0', true);
        out.append(char(e.address.subnet)).append(char(e.address.node & 0x7F));
        out.append(char(e.address.id.size())).append(e.authKey);
        code = wire::successCode(frame.code);
        return out;
    }
    case wire::UpdateDomain: {
        if (d.size() != 16 || uint8_t(d[0]) > 1)
            return QByteArray();
        const int idLength = uint8_t(d[9]);
        if (idLength != 0 && idLength != 1 && idLength != 3 && idLength != 6)
            return QByteArray();
        DomainEntry &e = m_domains[uint8_t(d[0])];
        e.address.id = d.mid(1, idLength);
        e.address.subnet = uint8_t(d[7]);
        e.address.node = uint8_t(d[8]) & 0x7F;
        const QByteArray key = d.mid(10, 6);
        e.hasKey = e.hasKey || key != e.authKey;    // the host installed a key of its own
        e.authKey = key;
        code = wire::successCode(frame.code);
        return QByteArray();
    }
    default:
        return QByteArray();
    }
}

} // namespace lonsim
