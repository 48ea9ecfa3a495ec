// Encoding of point values into network-variable bytes (big-endian on the network).
#include "snvt/FieldEncoder.h"

#include "snvt/LonDefines.h"
#include "snvt/VariableTypes.h"
#include "support/HostFormat.h"
#include "support/StrLib.h"
#include "support/Windows1252.h"

#include <QDateTime>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

namespace {

bool Fits(const QByteArray &buffer, int length, int offset, qint64 width)
{
    return FieldFits(buffer.size(), length, offset, width);
}

void PutBigEndian(QByteArray &buffer, int offset, quint64 value, int width)
{
    for (int k = width - 1; k >= 0; --k) {
        buffer[offset + k] = char(value & 0xFF);
        value >>= 8;
    }
}

// The number a numeric text stands for; nothing when the text gives no finite number.
std::optional<double> NumberFromText(const QString &value)
{
    const QString upper = value.toUpper();
    if (upper.contains(u"-ON"))
        return -1.0;
    if (upper.contains(u"ON"))
        return 1.0;
    if (upper.contains(u"OFF"))
        return 0.0;
    const double number = ReadFlagOrDouble(value);
    if (!std::isfinite(number))
        return std::nullopt;
    return number;
}

// Rounded toward zero to 64 bits; nothing when the value lies outside that range.
std::optional<std::int64_t> Truncated(double value)
{
    constexpr double Limit = 9223372036854775808.0;   // 2^63
    if (!(value >= -Limit && value < Limit))
        return std::nullopt;
    return std::int64_t(value);
}

bool EncodeText(const QString &value, QByteArray &buffer, int length, int offset, int parameter)
{
    QByteArray bytes = ToWindows1252(value).left(parameter > 1 ? parameter - 1 : 0);
    bytes.append('\0');
    if (!Fits(buffer, length, offset, bytes.size()))
        return false;
    std::memcpy(buffer.data() + offset, bytes.constData(), size_t(bytes.size()));
    return true;
}

bool EncodeBits(double number, QByteArray &buffer, int length, int offset, int parameter)
{
    const auto whole = Truncated(number);
    if (!whole || parameter == 0 || !Fits(buffer, length, offset, 1))
        return false;
    const unsigned mask = unsigned(parameter) & 0xFFu;
    int shift = 0;
    while (shift < 8 && !(mask & (1u << shift)))
        ++shift;
    const unsigned value = quint8(*whole);
    if (value > (mask >> shift))
        return false;
    const unsigned bits = (value << shift) & mask;
    buffer[offset] = char((quint8(buffer[offset]) & ~mask) | bits);
    return true;
}

bool EncodeNumber(double number, QByteArray &buffer, int length, int offset, int code,
                  int parameter, bool tempsInF)
{
    const double scaled = ScaleForWriting(parameter, number, tempsInF);
    const int width = FieldWidth(code);
    if (code == VarFloat) {
        // Values from 2^128 - 2^103 on would round to infinity as a single.
        constexpr double Overflow = 340282356779733661637539395458142568448.0;
        if (!(std::fabs(scaled) < Overflow) || !Fits(buffer, length, offset, width))
            return false;
        const float single = float(scaled);
        quint32 bits;
        std::memcpy(&bits, &single, sizeof bits);
        PutBigEndian(buffer, offset, bits, width);
        return true;
    }
    const auto whole = Truncated(scaled);
    if (!whole || !Fits(buffer, length, offset, width))
        return false;
    PutBigEndian(buffer, offset, quint64(*whole), width);
    return true;
}

// A moment in the host's formats; a time of day alone is accepted for the time code.
std::optional<QDateTime> MomentFromText(const QString &value, int code)
{
    QDateTime moment;
    if (ParseHostDateTime(value, moment))
        return moment;
    if (code == VarTime
        && ParseHostDateTime(HostShortDate(QDate(2000, 1, 1)) + u' ' + value.trimmed(), moment))
        return moment;
    return std::nullopt;
}

bool EncodeMoment(const QString &value, QByteArray &buffer, int length, int offset, int code)
{
    const auto moment = MomentFromText(value, code);
    if (!moment || !Fits(buffer, length, offset, FieldWidth(code)))
        return false;
    const QDate date = moment->date();
    const QTime time = moment->time();
    if (code != VarTime && (date.year() < 1 || date.year() > 9999))
        return false;
    if (code == VarTime) {
        const char fields[] = {char(time.hour()), char(time.minute()), char(time.second())};
        std::memcpy(buffer.data() + offset, fields, sizeof fields);
        return true;
    }
    PutBigEndian(buffer, offset, quint64(date.year()), 2);
    buffer[offset + 2] = char(date.month());
    buffer[offset + 3] = char(date.day());
    if (code == VarDateTime) {
        buffer[offset + 4] = char(time.hour());
        buffer[offset + 5] = char(time.minute());
        buffer[offset + 6] = char(time.second());
    }
    return true;
}

} // namespace

bool EncodeField(const QString &value, QByteArray &buffer, int length, int offset,
                 int variableType, int parameter, bool tempsInF)
{
    switch (variableType) {
    case VarText:
        return EncodeText(value, buffer, length, offset, parameter);
    case VarDate: case VarTime: case VarDateTime:
        return EncodeMoment(value, buffer, length, offset, variableType);
    case VarUnsignedByte: case VarByte: case VarUnsigned16: case VarSigned16:
    case VarFloat: case VarSigned32: case VarBitField:
        break;
    default:
        return false;
    }
    const auto number = NumberFromText(value);
    if (!number)
        return false;
    if (variableType == VarBitField)
        return EncodeBits(*number, buffer, length, offset, parameter);
    return EncodeNumber(*number, buffer, length, offset, variableType, parameter, tempsInF);
}
