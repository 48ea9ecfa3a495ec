#pragma once
// Reading one point's value out of the raw bytes of its network variable.

#include <QByteArrayView>
#include <QString>

// The text of the field at `offset` with the given variable type code and parameter.
// Reads only inside `buffer` and inside the first `length` bytes (those received); a field
// that does not lie inside both, whatever its code, gives the empty text.
//  - numeric codes: the scaled value with four decimals in the host locale ("21.5000");
//    a float holding a quiet not-a-number reads "NaN", an infinity "INF" or "-INF";
//    a signalling not-a-number is a floating-point fault and reads "0.0000";
//  - text: Windows-1252 characters up to the first zero byte, at most `parameter` of them;
//  - bit field: the selected bits shifted down, as a whole number ("9");
//  - date, time of day: date serial / day fraction with eight decimals; date and time:
//    the host's short date and long time; impossible dates and times give the empty text.
QString DecodeField(QByteArrayView buffer, int length, int offset, int variableType,
                    int parameter, bool tempsInF);
