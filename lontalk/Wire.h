#pragma once
// The host frame layout of a network interface: the frames a host writes with ldv_write
// and reads with ldv_read. The parse of a frame written by the host, and the frames an
// interface hands back (responses, completion events, incoming messages). The simulated
// interface and the library's own interfaces lay out their frames with these.

#include <QByteArray>
#include <cstdint>
#include <optional>

namespace lontalk::wire {

constexpr int HeaderLength = 17;        // bytes 0..16: interface header, message header, address, code
constexpr int MaxFrameLength = 257;     // byte 1 counts at most 255 following bytes

enum Service : uint8_t { Acknowledged = 0, UnackRepeat = 1, Unacknowledged = 2, Request = 3 };
enum AddressKind : uint8_t { SubnetNode = 1, ByNeuronId = 2, Broadcast = 3, Group = 0x80, Local = 0x7F };
enum Completion : uint8_t { Success = 1, Failure = 2 };

// Network management codes and the failure/success answer codes derived from them.
constexpr uint8_t QueryId = 0x61, RespondToQuery = 0x62, UpdateDomain = 0x63, QueryNvConfig = 0x68,
                  QueryDomain = 0x6A, ReadMemory = 0x6D, QuerySnvt = 0x72, NvFetch = 0x73;
constexpr uint8_t FilePacketCode = 0x3E;
inline uint8_t successCode(uint8_t request) { return request & 0xBF; }
inline uint8_t failureCode(uint8_t request) { return request & 0x1F; }
inline bool isNvUpdate(uint8_t code) { return code & 0x80; }

// A frame written by the host, decoded.
struct HostFrame {
    uint8_t command = 0;
    uint8_t queue = 0;
    uint8_t service = 0;
    bool authenticated = false;
    uint8_t tag = 0;
    uint8_t flags = 0;          // byte 3 as sent
    bool response = false;
    uint8_t addressKind = 0;
    uint8_t domainIndex = 0;
    uint8_t subnet = 0;
    uint8_t node = 0;
    uint8_t backlog = 0;
    uint8_t group = 0;
    uint8_t member = 0;
    uint8_t retries = 0;
    uint8_t txTimer = 0;
    uint8_t neuronId[6] = {};
    uint8_t code = 0;
    QByteArray data;
    QByteArray address;         // bytes 5..15 as sent
    bool isLocal() const { return command == 2 || addressKind == Local; }
};

// Checks a host frame against its own length bytes; std::nullopt when they disagree
// with the number of bytes actually given.
std::optional<HostFrame> parseHostFrame(const uint8_t *bytes, int length);

// Encoded transmit timer (low nibble) in milliseconds: 16 .. 3072.
int transmitTimerMs(uint8_t encoded);

struct Endpoint {
    uint8_t domainIndex = 0;
    uint8_t subnet = 0;
    uint8_t node = 0;
};

// A response on queue 6 to the host's request (Response set, the request's tag).
QByteArray response(const HostFrame &request, uint8_t code, const QByteArray &data,
                    const Endpoint &source, const Endpoint &destination);

// The completion event of a host transaction (queue 6): the request's header, tag, address,
// code and first data byte.
QByteArray completion(const HostFrame &request, Completion result);

// An incoming message on queue 8, addressed by subnet/node to the host's interface.
QByteArray incoming(uint8_t service, uint8_t tag, uint8_t code, const QByteArray &data,
                    const Endpoint &source, const Endpoint &destination);

// Frames the tests use to feign a faulty device: a copy of frame whose length bytes
// claim `extra` more bytes than it has.
QByteArray withLyingLength(QByteArray frame, int extra);

} // namespace lontalk::wire
