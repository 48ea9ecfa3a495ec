#include "lonsim/HexBytes.h"

#include <cctype>

namespace lonsim {

std::optional<QByteArray> parseHex(const QString &text)
{
    QByteArray digits;
    for (const QChar c : text) {
        if (c == u' ' || c == u':' || c == u'-')
            continue;
        if (c.unicode() >= 128 || !std::isxdigit(static_cast<unsigned char>(c.toLatin1())))
            return std::nullopt;
        digits.append(c.toLatin1());
    }
    if (digits.size() % 2)
        return std::nullopt;
    return QByteArray::fromHex(digits);
}

QString toHex(const QByteArray &bytes, char separator)
{
    return QString::fromLatin1(separator ? bytes.toHex(separator) : bytes.toHex()).toUpper();
}

} // namespace lonsim
