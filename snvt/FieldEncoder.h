#pragma once
// Writing one point's value into the raw bytes of its network variable before the whole
// variable is sent back to the device.

#include <QByteArray>
#include <QString>

// Puts `value` into the field at `offset` of `buffer`, by the variable type code and
// parameter, exactly as DecodeField reads it. Only the bytes of that field change, and only
// inside the buffer and the first `length` bytes (those fetched): a field that does not fit
// fails, date and time codes included. On failure the buffer is left unchanged.
//  - numeric codes and the bit field: "-ON" anywhere gives -1, else "ON" anywhere 1, else
//    "OFF" anywhere 0, else the lenient number reading (no number counts as 0); the writing
//    scaling rule of the parameter applies (not to bit fields); the value is truncated
//    toward zero to 64 bits and cut to the field's width; floats are packed as IEEE single
//    and fail beyond its range;
//  - bit field: fails when the value exceeds what the mask (parameter AND 255) can hold;
//  - text: at most parameter - 1 Windows-1252 characters followed by one zero byte;
//  - date, time, date and time: a text in the host's date and time formats (a time of day
//    may also be written alone); a text that is no date fails.
bool EncodeField(const QString &value, QByteArray &buffer, int length, int offset,
                 int variableType, int parameter, bool tempsInF);
