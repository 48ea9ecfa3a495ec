#pragma once
// Windows-1252, the 8-bit character set of texts on the LonWorks network (text fields of
// network variables, self-documentation names). QString inside, these bytes at the wire.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

QString FromWindows1252(QByteArrayView bytes);
// Characters with no Windows-1252 byte become "?".
QByteArray ToWindows1252(const QString &text);
// The bytes of `text` with nothing replaced: false when a character has no Windows-1252
// byte, with `badIndex` its position in `text` (-1 on success).
bool ToWindows1252Exactly(const QString &text, QByteArray &bytes, qsizetype &badIndex);
