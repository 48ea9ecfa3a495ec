#pragma once
// Bytes written as hexadecimal text on the command line and in lonctl's output.

#include <QByteArray>
#include <QString>

// Pairs of hexadecimal digits, optionally separated by blanks, ":", "," or "-", each pair
// optionally written with "0x" ("41 AC 00 00", "41ac0000", "0x41,0xAC"). False, with the
// offending piece in `bad`, when the text is anything else. The empty text gives no bytes.
bool ParseHexBytes(const QString &text, QByteArray &bytes, QString &bad);
// Upper-case pairs separated by one blank: "41 AC 00 00".
QString FormatHexBytes(const QByteArray &bytes);
// A classic dump: offset, sixteen bytes in hex, and their printable ASCII characters.
QStringList HexDump(const QByteArray &bytes);
