#include "lontalk/ip852/Segments.h"

#include "lontalk/ip852/BigEndian.h"

namespace ip852 {

bool needsSegments(int packetSize, const QByteArray &secret)
{
    return packetSize + (secret.isEmpty() ? 0 : DigestLength) > MaxDatagram;
}

QList<QByteArray> segmentPackets(const QByteArray &packet, uint32_t dateTime, uint16_t requestId,
                                 const QByteArray &secret, int from, bool all)
{
    const int count = int((packet.size() + SegmentChunk - 1) / SegmentChunk);
    if (count > MaxSegmentCount || from < 0 || from >= count)
        return {};
    QList<QByteArray> out;
    for (int id = from; id < (all ? count : from + 1); ++id) {
        SegmentPacket s;
        s.dateTime = dateTime;
        s.flags = uint8_t(SegmentPacket::Valid | (id == count - 1 ? SegmentPacket::Final : 0));
        s.requestId = requestId;
        s.segmentId = uint8_t(id);
        s.chunk = packet.mid(qsizetype(id) * SegmentChunk, SegmentChunk);
        out.append(buildConfigPacket(Segment, encode(s), secret));
    }
    return out;
}

QByteArray missingSegmentPacket(uint32_t dateTime, uint16_t requestId, uint8_t segmentId, const QByteArray &secret)
{
    SegmentPacket s;
    s.dateTime = dateTime;
    s.flags = SegmentPacket::Final;
    s.requestId = requestId;
    s.segmentId = segmentId;
    return buildConfigPacket(Segment, encode(s), secret);
}

std::optional<QByteArray> SegmentAssembler::add(const Endpoint &from, const SegmentPacket &s, int64_t now)
{
    const Key key{from.ip, from.port, s.requestId};
    auto it = m_streams.find(key);
    if (it != m_streams.end()) {
        if (s.dateTime < it->second.dateTime)
            return std::nullopt;        // an older packet's segment
        if (s.dateTime > it->second.dateTime) {
            m_streams.erase(it);        // a newer packet starts over
            it = m_streams.end();
        }
    }
    if (!s.valid() || s.segmentId >= MaxSegmentCount || s.chunk.isEmpty() || s.chunk.size() > SegmentChunk) {
        if (it != m_streams.end() && !s.valid())
            m_streams.erase(it);        // the sender has no such segment: give the stream up
        return std::nullopt;
    }
    if (s.segmentId == 0 && (s.chunk.size() < HeaderLength
                             || (uint8_t(s.chunk[3]) != ChannelMembership && uint8_t(s.chunk[3]) != ChannelRouting)))
        return std::nullopt;            // only memberships and routing packets come in segments
    if (it == m_streams.end()) {
        if (m_streams.size() >= MaxStreams) {
            // Room is made by giving up the stream that has been quiet longest.
            auto oldest = m_streams.begin();
            for (auto i = m_streams.begin(); i != m_streams.end(); ++i)
                if (i->second.lastActivity < oldest->second.lastActivity)
                    oldest = i;
            m_streams.erase(oldest);
        }
        Stream fresh;
        fresh.dateTime = s.dateTime;
        fresh.started = now;
        fresh.lastAsked = now;
        it = m_streams.emplace(key, fresh).first;
    }
    Stream &stream = it->second;
    stream.lastActivity = now;
    stream.chunks[s.segmentId] = s.chunk;
    if (s.segmentId == 0)
        stream.innerType = uint8_t(s.chunk[3]);
    if (s.final())
        stream.finalId = s.segmentId;
    if (stream.finalId < 0)
        return std::nullopt;
    if (stream.chunks.rbegin()->first > stream.finalId) {
        m_streams.erase(it);            // segments past the final one: not a packet
        return std::nullopt;
    }
    if (int(stream.chunks.size()) != stream.finalId + 1)
        return std::nullopt;            // some still missing
    QByteArray whole;
    for (const auto &[id, chunk] : stream.chunks)
        whole.append(chunk);
    m_streams.erase(it);
    const int size = be16(reinterpret_cast<const uint8_t *>(whole.constData()));
    if (size < HeaderLength || size > whole.size())
        return std::nullopt;            // the pieces do not make the packet they claim
    return whole.left(size);
}

QList<SegmentAssembler::Wanted> SegmentAssembler::wanted(int64_t now)
{
    QList<Wanted> out;
    for (auto it = m_streams.begin(); it != m_streams.end();) {
        Stream &s = it->second;
        if (now - s.lastActivity > IdleMs || now - s.started > TotalMs) {
            it = m_streams.erase(it);
            continue;
        }
        if (now - s.lastAsked >= RetryMs) {
            int missing = 0;
            while (s.chunks.count(missing))
                ++missing;
            if (s.finalId < 0 || missing <= s.finalId) {
                s.lastAsked = now;
                const auto &[ip, port, requestId] = it->first;
                out.append(Wanted{Endpoint{ip, port}, requestId, uint8_t(missing), s.dateTime, s.innerType});
            }
        }
        ++it;
    }
    return out;
}

bool SegmentAssembler::arriving(const Endpoint &from, uint8_t innerType) const
{
    for (const auto &[key, stream] : m_streams)
        if (std::get<0>(key) == from.ip && std::get<1>(key) == from.port
            && (stream.innerType == innerType || stream.innerType == 0))
            return true;
    return false;
}

} // namespace ip852
