#pragma once
// Frames on a LON network device (lonN) in layer-5 mode: the classic host frames (command
// and queue byte, length byte, the bytes that follow) with the device's extended form for
// long frames (length byte 0xFF, then a 16-bit little-endian count). The library and the
// adapter stand-in of the simulator both use these.

#include <QByteArray>
#include <cstdint>
#include <initializer_list>
#include <optional>

namespace lontalk::link {

constexpr uint16_t PacketProtocol = 0x8950;     // what sockets and the device frame with
constexpr int MaxLinkData = 1280;               // the device's MTU: bytes after the length
constexpr int MaxClassicData = 255;             // what a classic host frame's length byte counts

// Network-interface commands (byte 0 of two-byte frames, queue 0).
constexpr uint8_t NiReset = 0x50;               // down: reset the adapter; up: it has reset
constexpr uint8_t NiFlushCancel = 0x60;         // down: leave the flush state; up: flush complete
constexpr uint8_t NiOnline = 0x70, NiOffline = 0x80, NiFlush = 0x90, NiFlushIgnore = 0xA0;
constexpr uint8_t NiModeEcho2 = 0xD1, NiModeEcho5 = 0xD0;
constexpr uint8_t NiStatus = 0xE0;
constexpr uint8_t NiSetLayer = 0xE5;            // E5 01 00: layer 5; E5 01 01: layer 2

// One frame as it came off the device (or, for the adapter, off the socket): parsed by its
// length byte (or extended count), whatever follows it ignored (a serial-USB module adds a
// byte of its own). nullopt when fewer bytes came than the frame claims, or the count is
// over the device's limit. The result is always classic: command, count, body; bodies
// longer than 255 bytes are reported by tooLong instead.
struct LinkFrame {
    QByteArray frame;           // command byte, count byte, body (classic form)
    bool tooLong = false;       // an extended frame with more than 255 bytes after the count
};
std::optional<LinkFrame> parseLinkFrame(const uint8_t *bytes, int delivered);

// A classic host frame (its byte 1 counting the bytes that follow) as the device takes it:
// unchanged, or in the extended form when byte 1 is 0xFF. nullopt when the frame's length
// byte disagrees with its length.
std::optional<QByteArray> toDevice(const uint8_t *frame, int length);

// A short frame of the bytes given.
QByteArray bytesOf(std::initializer_list<uint8_t> list);

// The frames of the open sequence.
QByteArray setLayer5();
QByteArray setLayer2();
QByteArray flushCancel();
// A local read-memory request for the adapter's Neuron ID (read-only relative, offset 0,
// six bytes) under tag; the adapter answers it only in layer-5 mode.
QByteArray neuronIdRequest(uint8_t tag);
// Whether frame (classic) is the adapter's answer to neuronIdRequest(tag), success or failure.
bool isNeuronIdAnswer(const QByteArray &frame, uint8_t tag);

// Byte 0 of a frame, split.
inline uint8_t commandOf(uint8_t byte0) { return byte0 >> 4; }
inline uint8_t queueOf(uint8_t byte0) { return byte0 & 0x0F; }

} // namespace lontalk::link
