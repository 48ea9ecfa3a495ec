#include "lonsim/ValueCodec.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace lonsim {

std::optional<ValueFormat> parseValueFormat(const QString &name)
{
    static const struct { const char *name; ValueFormat format; } table[] = {
        {"u8", ValueFormat::U8}, {"s8", ValueFormat::S8}, {"u16", ValueFormat::U16},
        {"s16", ValueFormat::S16}, {"u32", ValueFormat::U32}, {"s32", ValueFormat::S32},
        {"f32", ValueFormat::F32},
    };
    for (const auto &entry : table)
        if (name == QLatin1String(entry.name))
            return entry.format;
    return std::nullopt;
}

int formatSize(ValueFormat format)
{
    switch (format) {
    case ValueFormat::U8:
    case ValueFormat::S8:
        return 1;
    case ValueFormat::U16:
    case ValueFormat::S16:
        return 2;
    default:
        return 4;
    }
}

QByteArray encodeValue(ValueFormat format, double value)
{
    uint32_t raw = 0;
    if (format == ValueFormat::F32) {
        raw = std::bit_cast<uint32_t>(static_cast<float>(value));
    } else {
        const double rounded = std::isfinite(value) ? std::round(value) : 0.0;
        const double clamped = std::fmax(-2147483648.0, std::fmin(4294967295.0, rounded));
        raw = clamped < 0 ? static_cast<uint32_t>(static_cast<int64_t>(clamped))
                          : static_cast<uint32_t>(clamped);
    }
    const int size = formatSize(format);
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((raw >> (8 * (size - 1 - i))) & 0xFF);
    return bytes;
}

bool writeField(QByteArray &bytes, int offset, ValueFormat format, double value)
{
    const QByteArray field = encodeValue(format, value);
    if (offset < 0 || offset + field.size() > bytes.size())
        return false;
    bytes.replace(offset, field.size(), field);
    return true;
}

} // namespace lonsim
