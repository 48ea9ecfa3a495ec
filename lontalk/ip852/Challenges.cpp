#include "lontalk/ip852/Challenges.h"

#include "lontalk/ip852/AuthFrames.h"

namespace ip852 {

bool Challenges::sameMessage(const LonFrame &a, const LonFrame &b)
{
    return a.tid == b.tid && a.priority == b.priority && a.pdu == b.pdu && a.domain == b.domain
           && a.address.format == b.address.format && a.address.sourceSubnet == b.address.sourceSubnet
           && a.address.sourceNode == b.address.sourceNode;
}

void Challenges::expire(int64_t now)
{
    m_held.removeIf([now](const Held &h) { return h.expires <= now; });
}

LonFrame Challenges::challenge(const LonFrame &message, uint8_t domainIndex, uint8_t mySubnet, uint8_t myNode,
                               int64_t now, int lifetimeMs)
{
    expire(now);
    m_held.removeIf([&message](const Held &h) { return sameMessage(h.message, message); });
    if (m_held.size() >= MaxHeld)
        m_held.removeFirst();
    const Held h{message, domainIndex, lontalk::newChallenge(), now + lifetimeMs};
    m_held.append(h);
    return challengeFrame(message, mySubnet, myNode, h.challenge);
}

void Challenges::repeated(const LonFrame &message, int64_t now, int lifetimeMs)
{
    for (Held &h : m_held)
        if (h.expires > now && sameMessage(h.message, message))
            h.expires = now + lifetimeMs;
}

std::optional<Challenges::Released> Challenges::reply(const LonFrame &r, uint8_t domainIndex,
                                                      const lontalk::AuthKey &key, int64_t now)
{
    const std::optional<lontalk::AuthBytes> bytes = authBytesOf(r);
    if (!isAuthReply(r) || !bytes)
        return std::nullopt;
    expire(now);
    for (qsizetype i = 0; i < m_held.size(); ++i) {
        const Held &h = m_held[i];
        const LonFrame &m = h.message;
        // The reply comes back from the message's source, with its TID, priority and
        // address format.
        if (h.domainIndex != domainIndex || m.domain != r.domain || m.tid != r.tid || m.priority != r.priority
            || uint8_t(m.address.format) != r.authFormat || m.address.sourceSubnet != r.address.sourceSubnet
            || (m.address.sourceNode & 0x7F) != (r.address.sourceNode & 0x7F))
            continue;
        Released out{m, h.domainIndex, *bytes == lontalk::authenticationReply(h.challenge, key, m.apdu)};
        m_held.removeAt(i);
        return out;
    }
    return std::nullopt;
}

} // namespace ip852
