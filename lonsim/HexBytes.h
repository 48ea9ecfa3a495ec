#pragma once
// Hex text and bytes: "0B 54", "05:00:00:4C:10:01" or "0b54" to bytes, and back.

#include <QByteArray>
#include <QString>
#include <optional>

namespace lonsim {

// Hex digits, optionally separated by spaces, ":" or "-"; nullopt for anything else
// or an odd number of digits.
std::optional<QByteArray> parseHex(const QString &text);

// Upper-case pairs separated by `separator` (none when it is 0).
QString toHex(const QByteArray &bytes, char separator = ' ');

} // namespace lonsim
