// Encoding of point values into network-variable bytes (big-endian on the network), and
// the checks that refuse a value its field cannot hold.
#include "snvt/FieldEncoder.h"

#include "snvt/Catalogue.h"
#include "snvt/LonDefines.h"
#include "snvt/TypeRange.h"
#include "snvt/VariableTypes.h"
#include "support/HostFormat.h"
#include "support/StrLib.h"
#include "support/Windows1252.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

namespace {

// Values from 2^128 - 2^103 on would round to infinity as a single.
constexpr double FloatOverflow = 340282356779733661637539395458142568448.0;
constexpr double LargestFloat = double(std::numeric_limits<float>::max());

// What a value becomes before it is written: the raw whole number of an integer code or a
// bit field, the scaled number of a float, the bytes of a text, the moment of a date code.
struct Prepared
{
    std::int64_t Whole = 0;
    double Scaled = 0.0;
    QByteArray Text;
    QDateTime Moment;
};

// A number as a user reads it: up to ten significant digits, the host's decimal separator.
QString NumberForUser(double value)
{
    QString text = QString::number(value + 0.0, 'g', 10);
    return text.replace(u'.', QLocale().decimalPoint());
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

// The bit field's mask (parameter AND 255) and how far its lowest bit lies from bit 0.
unsigned MaskOf(int parameter)
{
    return unsigned(parameter) & 0xFFu;
}

int MaskShift(unsigned mask)
{
    int shift = 0;
    while (shift < 8 && !(mask & (1u << shift)))
        ++shift;
    return shift;
}

// The raw values a numeric code or the bit field holds.
bool RawLimits(int code, int parameter, double &low, double &high)
{
    if (IntegerCodeLimits(code, low, high))
        return true;
    switch (code) {
    case VarFloat: low = -LargestFloat; high = LargestFloat; return true;
    case VarBitField: {
        const unsigned mask = MaskOf(parameter);
        low = 0;
        high = mask >> MaskShift(mask);
        return true;
    }
    default: return false;
    }
}

QString OutOfRange(const QString &shown, int offset, int code, int parameter, bool tempsInF,
                   double scale)
{
    FieldRange range;
    WritableRange(code, parameter, tempsInF, scale, offset, range);
    return QStringLiteral("%1 does not fit this field: it holds %2 to %3.")
        .arg(shown.trimmed(), NumberForUser(range.Low), NumberForUser(range.High));
}

// The type's own range as the user writes the point: divided by the address's scale, which
// multiplies what is written (a scaled point's units are its own, so none are named).
std::optional<TypeRange> UserTypeRange(int offset, int code, int parameter, bool tempsInF,
                                       double scale)
{
    auto range = PointTypeRange(parameter, offset, code, tempsInF);
    if (!range || scale == 0.0 || range->enumeration >= 0)
        return range;
    range->low /= scale;
    range->high /= scale;
    range->step /= std::fabs(scale);
    if (range->low > range->high)
        std::swap(range->low, range->high);
    range->units.clear();
    return range;
}

// An enumeration of the catalogue is written by a member's name (any case) or number.
EncodeResult PrepareMember(const QString &text, const SnvtCatalogue::Field &conversion, int offset,
                           int code, int parameter, bool tempsInF, Prepared &out)
{
    const auto member = SnvtCatalogue::MemberValue(conversion.enumeration, text);
    if (!member)
        return EncodeResult::Refused(OutOfRangeText(*PointTypeRange(parameter, offset, code, tempsInF)));
    double low = 0;
    double high = 0;
    RawLimits(code, parameter, low, high);
    if (*member < low || *member > high)
        return EncodeResult::Refused(OutOfRange(text, offset, code, parameter, tempsInF, 0.0));
    out.Whole = *member;
    return EncodeResult::Written();
}

EncodeResult PrepareNumber(const QString &shown, const QString &text, int offset, int code,
                           int parameter, bool tempsInF, double scale, Prepared &out)
{
    if (code == VarBitField && parameter == 0)
        return EncodeResult::Refused(QStringLiteral("This bit field's mask (parameter 0) selects no "
                                                    "bits: nothing can be written into it."));
    // Above 122 the catalogue converts: enumerations by name, numbers to the nearest raw step.
    const SnvtCatalogue::Field *conversion =
        code == VarBitField ? nullptr : SnvtCatalogue::ConversionField(parameter, offset, code);
    if (conversion && conversion->enumeration >= 0 && code != VarFloat)
        return PrepareMember(text, *conversion, offset, code, parameter, tempsInF, out);
    const auto number = NumberFromText(text);
    if (!number)
        return EncodeResult::Refused(QStringLiteral("%1 is no finite number.").arg(shown.trimmed()));
    // The type's own minimum and maximum, where the catalogue gives them.
    if (code != VarBitField) {
        const auto range = PointTypeRange(parameter, offset, code, tempsInF);
        if (range && !InTypeRange(*range, *number))
            return EncodeResult::Refused(
                OutOfRangeText(*UserTypeRange(offset, code, parameter, tempsInF, scale)));
    }
    // Bit fields take the number as it is; every other code by the parameter's writing rule.
    double scaled = code == VarBitField ? *number : ScaleForWriting(parameter, *number, tempsInF);
    if (conversion)
        scaled = code == VarFloat ? SnvtCatalogue::ToRaw(*conversion, *number)
                                  : std::nearbyint(SnvtCatalogue::ToRaw(*conversion, *number));
    if (code == VarFloat) {
        if (!(std::fabs(scaled) < FloatOverflow))
            return EncodeResult::Refused(OutOfRange(shown, offset, code, parameter, tempsInF, scale));
        out.Scaled = scaled;
        return EncodeResult::Written();
    }
    double low = 0;
    double high = 0;
    RawLimits(code, parameter, low, high);
    const auto whole = Truncated(scaled);
    if (!whole || double(*whole) < low || double(*whole) > high)
        return EncodeResult::Refused(OutOfRange(shown, offset, code, parameter, tempsInF, scale));
    out.Whole = *whole;
    return EncodeResult::Written();
}

EncodeResult PrepareText(const QString &text, int parameter, Prepared &out)
{
    qsizetype bad = -1;
    if (!ToWindows1252Exactly(text, out.Text, bad)) {
        const QChar first = text.at(bad);
        if (first == QChar::ReplacementCharacter)
            return EncodeResult::Refused(QStringLiteral(
                "The text holds U+FFFD, the mark of bytes that were not valid UTF-8: only "
                "Windows-1252 characters can be written."));
        char32_t code = first.unicode();
        QString shown = first;
        if (first.isHighSurrogate() && bad + 1 < text.size() && text.at(bad + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(first, text.at(bad + 1));
            shown = text.mid(bad, 2);
        } else if (first.isSurrogate()) {
            shown.clear();
        }
        return EncodeResult::Refused(
            QStringLiteral("The character \"%1\" (U+%2) has no Windows-1252 byte: only Windows-1252 "
                           "characters can be written.")
                .arg(shown, QString::number(quint32(code), 16).toUpper().rightJustified(4, u'0')));
    }
    if (out.Text.contains('\0'))
        return EncodeResult::Refused(QStringLiteral("The text holds a zero character, which would end "
                                                    "it early."));
    // One byte of the field is the closing zero.
    const qsizetype room = parameter > 1 ? parameter - 1 : 0;
    if (out.Text.size() > room)
        return EncodeResult::Refused(QStringLiteral("The text has %1 characters; this field holds at "
                                                    "most %2.")
                                         .arg(out.Text.size()).arg(room));
    return EncodeResult::Written();
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

EncodeResult PrepareMoment(const QString &shown, const QString &text, int code, Prepared &out)
{
    const auto moment = MomentFromText(text, code);
    if (!moment) {
        const QDateTime example(QDate(2024, 3, 15), QTime(12, 30, 45));
        return EncodeResult::Refused(
            QStringLiteral("\"%1\" is no %2 in this host's format (such as \"%3\").")
                .arg(shown, code == VarTime ? QStringLiteral("time") : QStringLiteral("date"),
                     code == VarTime ? HostLongTime(example.time()) : HostDateTimeText(example)));
    }
    if (code != VarTime && (moment->date().year() < 1 || moment->date().year() > 9999))
        return EncodeResult::Refused(QStringLiteral("\"%1\" lies outside the years 1 to 9999 a date "
                                                    "field holds.").arg(shown));
    out.Moment = *moment;
    return EncodeResult::Written();
}

// Everything CheckFieldValue decides, with what is to be written.
EncodeResult Prepare(const QString &value, int offset, int code, int parameter, bool tempsInF,
                     double scale, Prepared &out)
{
    // A scaled point's value is read as a number, multiplied by the scale and handed on as
    // a number with four decimals, whatever the code.
    QString text = value;
    if (scale != 0.0) {
        const double product = ReadFlagOrDouble(value) * scale;
        if (!std::isfinite(product))
            return EncodeResult::Refused(QStringLiteral("%1 times the point's scale %2 is no finite "
                                                        "number.")
                                             .arg(value.trimmed(), NumberForUser(scale)));
        text = FormatFixed(product, 4);
    }
    switch (code) {
    case VarText:
        return PrepareText(text, parameter, out);
    case VarDate: case VarTime: case VarDateTime:
        return PrepareMoment(value, text, code, out);
    case VarUnsignedByte: case VarByte: case VarUnsigned16: case VarSigned16:
    case VarFloat: case VarSigned32: case VarBitField: case VarSignedByte: case VarUnsigned32:
        return PrepareNumber(value, text, offset, code, parameter, tempsInF, scale, out);
    case VarOpaque:
        return EncodeResult::Refused(QStringLiteral("Variable type 8 (not decoded) is never written."));
    default:
        return EncodeResult::Refused(QStringLiteral("Variable type %1 is not one the driver writes "
                                                    "(0 to %2).").arg(code).arg(MaxVariableTypeCode));
    }
}

EncodeResult OutsideVariable(int offset, qint64 width, int length)
{
    return EncodeResult::Refused(QStringLiteral("The field needs %1 bytes from offset %2, but the "
                                                "variable has %3.")
                                     .arg(width).arg(offset).arg(qMax(length, 0)));
}

} // namespace

EncodeResult CheckFieldValue(const QString &value, int variableType, int parameter, bool tempsInF,
                             double scale, int offset)
{
    Prepared prepared;
    return Prepare(value, offset, variableType, parameter, tempsInF, scale, prepared);
}

EncodeResult EncodeField(const QString &value, QByteArray &buffer, int length, int offset,
                         int variableType, int parameter, bool tempsInF, double scale)
{
    Prepared prepared;
    if (EncodeResult result = Prepare(value, offset, variableType, parameter, tempsInF, scale, prepared);
        !result)
        return result;
    const qint64 width = variableType == VarText ? prepared.Text.size() + 1 : FieldWidth(variableType);
    if (!FieldFits(buffer.size(), length, offset, width))
        return OutsideVariable(offset, width, length);

    switch (variableType) {
    case VarText:
        std::memcpy(buffer.data() + offset, prepared.Text.constData(), size_t(prepared.Text.size()));
        buffer[offset + prepared.Text.size()] = '\0';
        break;
    case VarBitField: {
        const unsigned mask = MaskOf(parameter);
        const unsigned bits = (unsigned(prepared.Whole) << MaskShift(mask)) & mask;
        buffer[offset] = char((quint8(buffer[offset]) & ~mask) | bits);
        break;
    }
    case VarFloat: {
        const float single = float(prepared.Scaled);
        quint32 bits;
        std::memcpy(&bits, &single, sizeof bits);
        PutBigEndian(buffer, offset, bits, int(width));
        break;
    }
    case VarDate: case VarDateTime: {
        const QDate date = prepared.Moment.date();
        PutBigEndian(buffer, offset, quint64(date.year()), 2);
        buffer[offset + 2] = char(date.month());
        buffer[offset + 3] = char(date.day());
        if (variableType == VarDateTime) {
            const QTime time = prepared.Moment.time();
            buffer[offset + 4] = char(time.hour());
            buffer[offset + 5] = char(time.minute());
            buffer[offset + 6] = char(time.second());
        }
        break;
    }
    case VarTime: {
        const QTime time = prepared.Moment.time();
        buffer[offset] = char(time.hour());
        buffer[offset + 1] = char(time.minute());
        buffer[offset + 2] = char(time.second());
        break;
    }
    default:
        PutBigEndian(buffer, offset, quint64(prepared.Whole), int(width));
        break;
    }
    return EncodeResult::Written();
}

bool WritableRange(int variableType, int parameter, bool tempsInF, double scale, int offset,
                   FieldRange &range)
{
    double low = 0;
    double high = 0;
    if (!RawLimits(variableType, parameter, low, high))
        return false;
    const SnvtCatalogue::Field *conversion =
        variableType == VarBitField ? nullptr : SnvtCatalogue::ConversionField(parameter, offset, variableType);
    if (variableType == VarBitField) {
        range = FieldRange{low, high, 1.0};
    } else if (conversion) {
        auto read = [&](double raw) { return SnvtCatalogue::ToValue(*conversion, raw); };
        range = FieldRange{std::min(read(low), read(high)), std::max(read(low), read(high)),
                           variableType == VarFloat ? 0.0 : std::fabs(read(1.0) - read(0.0))};
    } else if (ScalingRuleOf(parameter) == ScalingRule::Switch) {
        range = FieldRange{0.0, 1.0, 1.0};
    } else {
        // A writing rule that clamps never writes beyond its own bounds.
        constexpr double Huge = 1e300;
        low = std::max(low, ScaleForWriting(parameter, -Huge, tempsInF));
        high = std::min(high, ScaleForWriting(parameter, Huge, tempsInF));
        double shownLow = ScaleForReading(parameter, low, tempsInF);
        double shownHigh = ScaleForReading(parameter, high, tempsInF);
        if (shownLow > shownHigh)
            std::swap(shownLow, shownHigh);
        const double step = variableType == VarFloat
            ? 0.0
            : std::fabs(ScaleForReading(parameter, 1.0, tempsInF) - ScaleForReading(parameter, 0.0, tempsInF));
        range = FieldRange{shownLow, shownHigh, step};
    }
    // Within that, the type's own minimum and maximum.
    if (const auto type = PointTypeRange(parameter, offset, variableType, tempsInF);
        type && type->enumeration < 0) {
        range.Low = std::max(range.Low, type->low);
        range.High = std::min(range.High, type->high);
    }
    // The address's scale divides what is read and multiplies what is written.
    if (scale != 0.0) {
        range.Low /= scale;
        range.High /= scale;
        range.Step /= std::fabs(scale);
        if (range.Low > range.High)
            std::swap(range.Low, range.High);
    }
    return true;
}
