// Decoding of point fields from network-variable bytes (big-endian on the network).
#include "snvt/FieldDecoder.h"

#include "snvt/Catalogue.h"
#include "snvt/LonDefines.h"
#include "snvt/VariableTypes.h"
#include "support/HostFormat.h"
#include "support/StrLib.h"
#include "support/Windows1252.h"

#include <QDateTime>

#include <cmath>
#include <cstring>

namespace {

quint32 BigEndian(QByteArrayView bytes, int offset, int width)
{
    quint32 value = 0;
    for (int k = 0; k < width; ++k)
        value = (value << 8) | quint8(bytes[offset + k]);
    return value;
}

bool IsSignallingNaN(quint32 bits)
{
    return (bits & 0x7F800000u) == 0x7F800000u && (bits & 0x007FFFFFu) != 0
           && (bits & 0x00400000u) == 0;
}

QString NumberText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    return FormatFixed(value + 0.0, 4);   // + 0.0 turns a negative zero into 0.0000
}

QString DecodeNumber(QByteArrayView bytes, int offset, int code, int parameter, bool tempsInF)
{
    double raw = 0.0;
    const quint32 bits = BigEndian(bytes, offset, FieldWidth(code));
    switch (code) {
    case VarUnsignedByte: case VarByte: case VarUnsigned16: case VarUnsigned32: raw = bits; break;
    case VarSignedByte: raw = qint8(quint8(bits)); break;
    case VarSigned16: raw = qint16(quint16(bits)); break;
    case VarSigned32: raw = qint32(bits); break;
    case VarFloat: {
        if (IsSignallingNaN(bits))
            return NumberText(0.0);
        float single;
        std::memcpy(&single, &bits, sizeof single);
        raw = single;
        break;
    }
    }
    if (const SnvtCatalogue::Field *field = SnvtCatalogue::ConversionField(parameter, offset, code)) {
        // An enumeration reads as its member's name; a value without one as its number.
        if (field->enumeration >= 0 && code != VarFloat) {
            const QString name = SnvtCatalogue::MemberName(field->enumeration, qint64(raw));
            return name.isEmpty() ? QString::number(qint64(raw)) : name;
        }
        return NumberText(SnvtCatalogue::ToValue(*field, raw));
    }
    return NumberText(ScaleForReading(parameter, raw, tempsInF));
}

QString DecodeText(QByteArrayView bytes, qint64 end, int offset, int parameter)
{
    qint64 stop = offset;
    while (stop < end && stop - offset < parameter && bytes[stop] != '\0')
        ++stop;
    return FromWindows1252(bytes.sliced(offset, stop - offset));
}

QString DecodeBits(quint8 byte, int parameter)
{
    const unsigned mask = unsigned(parameter) & 0xFFu;
    unsigned value = byte & mask;
    for (int i = 0; i < 8 && !(mask & (1u << i)); ++i)
        value >>= 1;
    return QString::number(value);
}

// Year, month, day at b[0..3]; invalid (QDate()) when impossible.
QDate ReadDate(QByteArrayView bytes, int offset)
{
    const int year = int(BigEndian(bytes, offset, 2));
    const int month = quint8(bytes[offset + 2]);
    const int day = quint8(bytes[offset + 3]);
    if (year < 1 || year > 9999 || !QDate::isValid(year, month, day))
        return {};
    return QDate(year, month, day);
}

QTime ReadTime(QByteArrayView bytes, int offset)
{
    const int hour = quint8(bytes[offset]);
    const int minute = quint8(bytes[offset + 1]);
    const int second = quint8(bytes[offset + 2]);
    if (!QTime::isValid(hour, minute, second))
        return {};
    return QTime(hour, minute, second);
}

} // namespace

QString DecodeField(QByteArrayView buffer, int length, int offset, int variableType,
                    int parameter, bool tempsInF)
{
    const qint64 end = qMin<qint64>(qMax(length, 0), buffer.size());
    switch (variableType) {
    case VarText:
        if (parameter < 1 || offset < 0 || offset >= end)
            return {};
        return DecodeText(buffer, end, offset, parameter);
    case VarBitField:
        if (parameter == 0 || !FieldFits(buffer.size(), length, offset, 1))
            return {};
        return DecodeBits(quint8(buffer[offset]), parameter);
    case VarUnsignedByte: case VarByte: case VarUnsigned16: case VarSigned16:
    case VarFloat: case VarSigned32: case VarSignedByte: case VarUnsigned32:
        if (!FieldFits(buffer.size(), length, offset, FieldWidth(variableType)))
            return {};
        return DecodeNumber(buffer, offset, variableType, parameter, tempsInF);
    case VarDate: case VarTime: case VarDateTime:
        break;
    default:
        return {};
    }

    if (!FieldFits(buffer.size(), length, offset, FieldWidth(variableType)))
        return {};
    if (variableType == VarDate) {
        const QDate date = ReadDate(buffer, offset);
        return date.isValid() ? FormatFixed(DateSerial(date), 8) : QString();
    }
    if (variableType == VarTime) {
        const QTime time = ReadTime(buffer, offset);
        return time.isValid() ? FormatFixed(TimeFraction(time), 8) : QString();
    }
    const QDate date = ReadDate(buffer, offset);
    const QTime time = ReadTime(buffer, offset + 4);
    if (!date.isValid() || !time.isValid())
        return {};
    // UTC: the moment is shown as read, with no daylight-saving adjustment of local time.
    return HostDateTimeText(QDateTime(date, time, Qt::UTC));
}
