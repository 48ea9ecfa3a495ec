#pragma once
// Configuration packets too large for one datagram (a membership of more than 42 members,
// a routing packet of more than 6 domains) travel as segments (0x7F): chunks of 492
// bytes of the whole packet, its header included. The sender cuts; the receiver puts the
// chunks together and asks for the ones missing.

#include "lontalk/ip852/ConfigPackets.h"

#include <QByteArray>
#include <QList>

#include <map>
#include <optional>
#include <tuple>

namespace ip852 {

constexpr int SegmentChunk = 492;
constexpr int MaxSegmentCount = 40;

// Whether a packet of packetSize bytes (header and body) needs segments.
bool needsSegments(int packetSize, const QByteArray &secret);

// packet (header and body, no digest) as segment packets with the digest of secret: all
// of them from segment `from` on, or only that one. Empty when `from` does not exist or
// the packet needs more than 40 segments.
QList<QByteArray> segmentPackets(const QByteArray &packet, uint32_t dateTime, uint16_t requestId,
                                 const QByteArray &secret, int from = 0, bool all = true);

// The answer to a request for a segment that does not exist: flags without "valid".
QByteArray missingSegmentPacket(uint32_t dateTime, uint16_t requestId, uint8_t segmentId, const QByteArray &secret);

class SegmentAssembler {
public:
    // A segment to ask the sender for (with its request's type, reason "all", the same
    // request ID and the stream's dateTime).
    struct Wanted {
        Endpoint from;
        uint16_t requestId = 0;
        uint8_t segmentId = 0;
        uint32_t dateTime = 0;
        uint8_t innerType = 0;          // 0x04 or 0x08; 0 while segment 0 has not come
    };

    // A segment from `from`: the whole packet (header and body, no digest) once every
    // segment up to the final one is in; nullopt until then, and for segments refused
    // (older than the stream, not a membership or routing packet, out of bounds).
    std::optional<QByteArray> add(const Endpoint &from, const SegmentPacket &segment, int64_t now);
    // For each stream whose last request is RetryMs old: the first segment missing (or
    // the one after the last when none is missing and the final has not come). Streams
    // idle for IdleMs or open for TotalMs are given up.
    QList<Wanted> wanted(int64_t now);
    // Whether a packet of that type is being put together from `from`.
    bool arriving(const Endpoint &from, uint8_t innerType) const;
    int streams() const { return int(m_streams.size()); }

    static constexpr int RetryMs = 1000;
    static constexpr int IdleMs = 10000;
    static constexpr int TotalMs = 30000;
    static constexpr std::size_t MaxStreams = 8;

private:
    struct Stream {
        uint32_t dateTime = 0;
        uint8_t innerType = 0;
        std::map<int, QByteArray> chunks;
        int finalId = -1;
        int64_t started = 0;
        int64_t lastActivity = 0;
        int64_t lastAsked = 0;
    };
    using Key = std::tuple<uint32_t, uint16_t, uint16_t>;     // sender IP, port, request ID
    std::map<Key, Stream> m_streams;
};

} // namespace ip852
