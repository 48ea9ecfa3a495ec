#pragma once
// Windows-1252, the 8-bit character set of texts on the LonWorks network (text fields of
// network variables, self-documentation names). QString inside, these bytes at the wire.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

QString FromWindows1252(QByteArrayView bytes);
// Characters with no Windows-1252 byte become "?".
QByteArray ToWindows1252(const QString &text);
