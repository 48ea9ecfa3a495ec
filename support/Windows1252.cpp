#include "support/Windows1252.h"

#include <QHash>

namespace {

// Code points of the bytes 0x80..0x9F; 0 marks the five bytes Windows-1252 leaves
// undefined, which pass through as the C1 control of the same value.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char16_t CodePointOf(quint8 byte)
{
    if (byte >= 0x80 && byte <= 0x9F && kHighControls[byte - 0x80] != 0)
        return kHighControls[byte - 0x80];
    return byte;
}

const QHash<char16_t, char> &ReverseTable()
{
    static const QHash<char16_t, char> table = [] {
        QHash<char16_t, char> reverse;
        for (int i = 0; i < 32; ++i) {
            if (kHighControls[i] != 0)
                reverse.insert(kHighControls[i], char(0x80 + i));
        }
        return reverse;
    }();
    return table;
}

// The byte of one UTF-16 unit; -1 when Windows-1252 has none.
int ByteOf(char16_t c)
{
    const bool definedControl = c >= 0x80 && c <= 0x9F && kHighControls[c - 0x80] == 0;
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF) || definedControl)
        return c;
    const auto &reverse = ReverseTable();
    const auto it = reverse.constFind(c);
    return it == reverse.constEnd() ? -1 : quint8(it.value());
}

} // namespace

QString FromWindows1252(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char byte : bytes)
        text.append(QChar(CodePointOf(quint8(byte))));
    return text;
}

QByteArray ToWindows1252(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (const int byte = ByteOf(text.at(i).unicode()); byte >= 0) {
            bytes.append(char(byte));
        } else {
            // A surrogate pair is one character and becomes one "?".
            if (text.at(i).isHighSurrogate() && i + 1 < text.size()
                && text.at(i + 1).isLowSurrogate())
                ++i;
            bytes.append('?');
        }
    }
    return bytes;
}

bool ToWindows1252Exactly(const QString &text, QByteArray &bytes, qsizetype &badIndex)
{
    bytes.clear();
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int byte = ByteOf(text.at(i).unicode());
        if (byte < 0) {
            badIndex = i;
            bytes.clear();
            return false;
        }
        bytes.append(char(byte));
    }
    badIndex = -1;
    return true;
}
