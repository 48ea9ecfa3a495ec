#pragma once
// Writing one point's value into the raw bytes of its network variable before the whole
// variable is sent back to the device, and the one answer to "does this value fit its
// field?": the driver, lonctl and the gateway all ask these functions, and a value that
// does not fit is refused with the reason, never wrapped, cut or replaced.

#include <QByteArray>
#include <QString>

// The outcome of writing a value into a field: written, or refused with the reason a user
// is shown ("1000 does not fit this field: it holds -327.68 to 327.67.").
struct EncodeResult
{
    bool Ok = false;
    QString Reason;   // empty when written

    explicit operator bool() const { return Ok; }
    static EncodeResult Written() { return EncodeResult{true, QString()}; }
    static EncodeResult Refused(const QString &reason) { return EncodeResult{false, reason}; }
};

// Whether `value` can be written into a field of this variable type code and parameter,
// whatever the variable's bytes (those are checked by EncodeField). `scale` is the point
// address's scale (0: none): a scaled point's value is read as a number, multiplied by it
// and written as that number with four decimals, whatever the code.
//  - numeric codes and the bit field: "-ON" anywhere gives -1, else "ON" anywhere 1, else
//    "OFF" anywhere 0, else the lenient number reading (no number counts as 0); the writing
//    scaling rule of the parameter applies (not to bit fields); the value is truncated
//    toward zero and must then lie in the code's raw range (0..255 for codes 0 and 1,
//    0..65535 for 2, -32768..32767 for 3, 32 bits signed for 6, a single's range for 4,
//    -128..127 for 12, 32 bits unsigned for 13, 0..mask for the bit field: the mask is
//    parameter AND 255, shifted down);
//  - text: at most parameter - 1 characters, each with a Windows-1252 byte (U+FFFD, what
//    invalid UTF-8 becomes, has none);
//  - date, time, date and time: a text in the host's date and time formats (a time of day
//    may also be written alone), years 1 to 9999;
//  - the opaque code and unknown codes are never written;
//  - a number outside the type's own minimum and maximum (TypeRange.h) is refused with
//    "Value out of range for SNVT_temp_p: -273.17 to 327.66 °C.";
//  - above 122 the catalogue converts (Catalogue.h): an enumeration takes a member's name
//    (any case) or number and nothing else, a number goes to its nearest raw step.
// `offset` is the field's byte offset: above 122 it selects a structure's field.
EncodeResult CheckFieldValue(const QString &value, int variableType, int parameter, bool tempsInF,
                             double scale, int offset);

// Puts `value` into the field at `offset` of `buffer`, by the variable type code and
// parameter, exactly as DecodeField reads it, after CheckFieldValue. Only the bytes of that
// field change, and only inside the buffer and the first `length` bytes (those fetched): a
// field that does not lie inside them is refused. On refusal the buffer is left unchanged.
EncodeResult EncodeField(const QString &value, QByteArray &buffer, int length, int offset,
                         int variableType, int parameter, bool tempsInF, double scale = 0.0);

// The values a numeric or bit field holds, in the units its parameter's scaling rule gives
// and divided by the address's scale, within the type's own minimum and maximum (a °C
// setpoint of code 3: -273.17 to 327.66, step 0.01). A writing rule that clamps narrows the
// range to what it can write (a whole percent: 0 to 100); the switch rule holds 0 and 1.
struct FieldRange
{
    double Low = 0.0;
    double High = 0.0;
    double Step = 0.0;   // the value of one raw step; 0 for a float (any value)
};
// False for codes that hold no number (text, opaque, dates and times, unknown codes).
bool WritableRange(int variableType, int parameter, bool tempsInF, double scale, int offset,
                   FieldRange &range);
