#include "lontalk/LinkFrames.h"

#include <algorithm>
#include <initializer_list>

namespace lontalk::link {

namespace {
constexpr uint8_t Extended = 0xFF;
constexpr uint8_t ReadMemory = 0x6D, ReadMemoryOk = 0x2D;
constexpr uint8_t ReadOnlyRelative = 0x01;
constexpr int HeaderLength = 17;

} // namespace

QByteArray bytesOf(std::initializer_list<uint8_t> list)
{
    QByteArray out(int(list.size()), '\0');
    std::copy(list.begin(), list.end(), out.begin());
    return out;
}

std::optional<LinkFrame> parseLinkFrame(const uint8_t *b, int delivered)
{
    if (!b || delivered < 2)
        return std::nullopt;
    if (b[1] != Extended) {
        const int total = 2 + b[1];
        if (total > delivered)
            return std::nullopt;
        return LinkFrame{QByteArray(reinterpret_cast<const char *>(b), total), false};
    }
    if (delivered < 4)
        return std::nullopt;
    const int count = b[2] | (b[3] << 8);
    if (count > MaxLinkData || 4 + count > delivered)
        return std::nullopt;
    if (count > MaxClassicData)
        return LinkFrame{{}, true};
    QByteArray frame = bytesOf({b[0], uint8_t(count)});
    frame.append(reinterpret_cast<const char *>(b + 4), count);
    return LinkFrame{frame, false};
}

std::optional<QByteArray> toDevice(const uint8_t *f, int length)
{
    if (!f || length < 2 || f[1] + 2 != length)
        return std::nullopt;
    if (f[1] != Extended)
        return QByteArray(reinterpret_cast<const char *>(f), length);
    QByteArray out = bytesOf({f[0], Extended, Extended, 0});
    out.append(reinterpret_cast<const char *>(f + 2), length - 2);
    return out;
}

QByteArray setLayer5()
{
    return bytesOf({NiSetLayer, 0x01, 0x00});
}

QByteArray setLayer2()
{
    return bytesOf({NiSetLayer, 0x01, 0x01});
}

QByteArray flushCancel()
{
    return bytesOf({NiFlushCancel, 0x00});
}

QByteArray neuronIdRequest(uint8_t tag)
{
    // Local network management (command 2, queue 2), request service with the
    // authentication bit, no address: read six bytes of the read-only structure.
    QByteArray f(HeaderLength + 4, '\0');
    f[0] = char(0x22);
    f[1] = char(f.size() - 2);
    f[2] = char(0x70 | (tag & 0x0F));
    f[4] = char(5);
    f[16] = char(ReadMemory);
    f[17] = char(ReadOnlyRelative);
    f[20] = char(6);
    return f;
}

bool isNeuronIdAnswer(const QByteArray &f, uint8_t tag)
{
    if (f.size() < HeaderLength || uint8_t(f[0]) != 0x16 || !(uint8_t(f[3]) & 0x01))
        return false;
    const uint8_t code = uint8_t(f[16]);
    return (uint8_t(f[2]) & 0x0F) == (tag & 0x0F) && (code == ReadMemoryOk || code == (ReadMemory & 0x1F));
}

} // namespace lontalk::link
