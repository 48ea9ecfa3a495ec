#include "lontalk/Wire.h"

#include <algorithm>

namespace lontalk::wire {

namespace {
constexpr int TimerTable[16] = {16, 24, 32, 48, 64, 96, 128, 192, 256, 384, 512, 768, 1024, 1536, 2048, 3072};

QByteArray header(uint8_t byte0, uint8_t byte2, uint8_t byte3, uint8_t code, const QByteArray &data)
{
    const int dataLength = std::min<int>(int(data.size()), MaxFrameLength - HeaderLength);
    QByteArray frame(HeaderLength + dataLength, '\0');
    frame[0] = char(byte0);
    frame[1] = char(dataLength + 15);
    frame[2] = char(byte2);
    frame[3] = char(byte3);
    frame[4] = char(dataLength + 1);
    frame[16] = char(code);
    std::copy_n(data.constData(), dataLength, frame.data() + HeaderLength);
    return frame;
}
} // namespace

std::optional<HostFrame> parseHostFrame(const uint8_t *b, int length)
{
    if (!b || length < HeaderLength || length > MaxFrameLength)
        return std::nullopt;
    if (int(b[1]) + 2 != length || int(b[4]) + 16 != length)
        return std::nullopt;
    HostFrame f;
    f.command = b[0] >> 4;
    f.queue = b[0] & 0x0F;
    f.service = (b[2] >> 5) & 0x03;
    f.authenticated = b[2] & 0x10;
    f.tag = b[2] & 0x0F;
    f.flags = b[3];
    f.response = b[3] & 0x01;
    f.addressKind = b[5];
    f.address = QByteArray(reinterpret_cast<const char *>(b + 5), 11);
    f.domainIndex = b[6] >> 7;
    f.retries = b[7] & 0x0F;
    f.txTimer = b[8] & 0x0F;
    switch (f.addressKind) {
    case SubnetNode:
        f.node = b[6] & 0x7F;
        f.subnet = b[9];
        break;
    case ByNeuronId:
        f.subnet = b[9];
        std::copy_n(b + 10, 6, f.neuronId);
        break;
    case Broadcast:
        f.backlog = b[6] & 0x3F;
        f.subnet = b[9];
        break;
    case Group:
        f.member = b[6] & 0x7F;
        f.group = b[9];
        break;
    default:
        break;
    }
    f.code = b[16];
    f.data = QByteArray(reinterpret_cast<const char *>(b + HeaderLength), length - HeaderLength);
    return f;
}

int transmitTimerMs(uint8_t encoded)
{
    return TimerTable[encoded & 0x0F];
}

QByteArray response(const HostFrame &request, uint8_t code, const QByteArray &data,
                    const Endpoint &source, const Endpoint &destination)
{
    QByteArray frame = header(0x16, uint8_t((Request << 5) | request.tag), 0x01, code, data);
    frame[5] = char((source.domainIndex & 1) << 7);
    frame[6] = char(source.subnet);
    frame[7] = char(0x80 | (source.node & 0x7F));
    frame[8] = char(destination.subnet);
    frame[9] = char(0x80 | (destination.node & 0x7F));
    return frame;
}

QByteArray completion(const HostFrame &request, Completion result)
{
    // On the response queue, as an interface reports it: the request's header, address,
    // code and first data byte.
    const uint8_t byte3 = uint8_t((request.flags & 0xCE) | (result << 4));
    QByteArray frame = header(0x16, uint8_t((request.service << 5) | (request.authenticated ? 0x10 : 0) | request.tag),
                              byte3, request.code, request.data.left(1));
    std::copy_n(request.address.constData(), std::min<int>(11, int(request.address.size())), frame.data() + 5);
    return frame;
}

QByteArray incoming(uint8_t service, uint8_t tag, uint8_t code, const QByteArray &data,
                    const Endpoint &source, const Endpoint &destination)
{
    QByteArray frame = header(0x18, uint8_t(((service & 3) << 5) | (tag & 0x0F)), 0x00, code, data);
    frame[5] = char(((source.domainIndex & 1) << 7) | 0x02);
    frame[6] = char(source.subnet);
    frame[7] = char(0x80 | (source.node & 0x7F));
    frame[8] = char(destination.subnet);
    frame[9] = char(0x80 | (destination.node & 0x7F));
    return frame;
}

QByteArray withLyingLength(QByteArray frame, int extra)
{
    if (frame.size() < HeaderLength)
        return frame;
    frame[1] = char(std::min(255, uint8_t(frame[1]) + extra));
    frame[4] = char(std::min(255, uint8_t(frame[4]) + extra));
    return frame;
}

} // namespace lontalk::wire
