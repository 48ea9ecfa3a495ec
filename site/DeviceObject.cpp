#include "site/DeviceObject.h"

#include "support/StrLib.h"

#include <cmath>

namespace {

struct TObjectClass
{
    char Letter;
    int Highest;
};

constexpr std::array<TObjectClass, 5> ObjectClasses{{
    {'V', 50}, {'C', 50}, {'I', 12}, {'O', 12}, {'P', 10},
}};

} // namespace

bool ParseDeviceObject(const QString &name, TDeviceObject &object)
{
    object = TDeviceObject();
    if (name.isEmpty())
        return false;
    const QChar first = name.at(0).toUpper();
    for (int code = 0; code < int(ObjectClasses.size()); ++code) {
        if (first != QLatin1Char(ObjectClasses[code].Letter))
            continue;
        qint32 number = 0;
        // The whole number is checked: an object beyond the range is refused rather than
        // cut to 8 bits, which would command another object.
        if (!ParseInteger(name.mid(1), number) || number < 1 || number > ObjectClasses[code].Highest)
            return false;
        object.Letter = ObjectClasses[code].Letter;
        object.Code = code;
        object.Number = number;
        return true;
    }
    return false;
}

int DisabledBit(const TDeviceObject &object)
{
    switch (object.Letter) {
    case 'V': return object.Number - 1;
    case 'I': return object.Number + 49;
    case 'O': return object.Number + 61;
    case 'P': return object.Number + 73;
    default: return -1;
    }
}

int StateBit(const TDeviceObject &object)
{
    switch (object.Letter) {
    case 'V': return object.Number - 1;
    case 'C': return object.Number + 49;
    case 'I': return object.Number + 61;
    case 'O': return object.Number + 73;
    default: return 0;
    }
}

bool ObjectCommandValue(const QString &text, double scale, qint16 &value)
{
    double number = ReadFlagOrDouble(text);
    if (scale != 0.0)
        number *= scale;
    if (!std::isfinite(number))
        return false;
    // A value the 16-bit field cannot hold is refused rather than cut to its limit: the
    // device would otherwise take another value than the one written.
    const double whole = std::trunc(number);
    if (whole > 32767.0 || whole < -32768.0)
        return false;
    value = qint16(whole);
    return true;
}

std::array<quint8, 5> ObjectCommandRecord(const TDeviceObject &object, quint8 state, qint16 value)
{
    const quint16 bits = quint16(value);
    return {quint8(object.Code), quint8(object.Number), state, quint8(bits >> 8), quint8(bits & 0xFF)};
}
