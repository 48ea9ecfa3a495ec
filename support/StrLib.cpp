#include "support/StrLib.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace {

// Zero-based index of the first occurrence of sub; an empty sub never occurs.
qsizetype FindSub(const QString &text, const QString &sub)
{
    return sub.isEmpty() ? -1 : text.indexOf(sub);
}

// Switch keywords are compared after ASCII upper-casing only, so no Unicode folding
// (ligatures, dotless i) can turn some other text into a keyword.
QString AsciiUpper(const QString &text)
{
    QString upper = text;
    for (QChar &c : upper) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return upper;
}

// The number part of a loosely written value: "12 degF" gives 12, "50%" gives 50.
QString PrepareNumberText(const QString &text)
{
    return TextBefore(TextBefore(TrimLeadingBlanks(text), QStringLiteral(" ")),
                      QStringLiteral("%"));
}

// ON/OFF/TRUE/FALSE/-ON; false when the text is no switch keyword.
bool ReadSwitchKeyword(const QString &prepared, qint32 &value)
{
    const QString upper = AsciiUpper(prepared);
    if (upper == u"TRUE" || upper == u"ON")
        value = 1;
    else if (upper == u"FALSE" || upper == u"OFF")
        value = 0;
    else if (upper == u"-ON")
        value = -1;
    else
        return false;
    return true;
}

int HexDigitValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// Start and end (zero-based) of the first open character at or after from and the first
// close character after it; false when either is missing.
bool FindBracketPair(const QString &text, QChar open, QChar close, qsizetype from,
                     qsizetype &openAt, qsizetype &closeAt)
{
    openAt = text.indexOf(open, from);
    if (openAt < 0)
        return false;
    closeAt = text.indexOf(close, openAt + 1);
    return closeAt >= 0;
}

} // namespace

QString FirstChars(const QString &text, int count)
{
    return count <= 0 ? QString() : text.left(count);
}

QString TrimLeadingBlanks(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == u' ')
        ++i;
    return text.mid(i);
}

QString TextBefore(const QString &text, const QString &sub)
{
    const qsizetype at = FindSub(text, sub);
    return at < 0 ? text : text.left(at);
}

QString TextFrom(const QString &text, const QString &sub)
{
    const qsizetype at = FindSub(text, sub);
    return at < 0 ? text : text.mid(at);
}

QString TextAfter(const QString &text, const QString &sub)
{
    const qsizetype at = FindSub(text, sub);
    return at < 0 ? text : text.mid(at + 1);
}

QString RemoveFirst(const QString &text, const QString &sub)
{
    const qsizetype at = FindSub(text, sub);
    if (at < 0)
        return text;
    QString result = text;
    result.remove(at, sub.size());
    return result;
}

QString TextUpToLast(const QString &text, const QString &delimiter)
{
    const qsizetype at = delimiter.isEmpty() ? -1 : text.lastIndexOf(delimiter);
    return at < 0 ? text : text.left(at + 1);
}

QString TextBeforeNth(const QString &text, QChar character, int n)
{
    if (n < 1)
        return text;
    qsizetype at = -1;
    for (int found = 0; found < n; ++found) {
        at = text.indexOf(character, at + 1);
        if (at < 0)
            return text;
    }
    return text.left(at);
}

QString TextBetween(const QString &text, QChar open, QChar close, int start)
{
    if (text.size() <= start)
        return QString();
    const qsizetype from = start < 1 ? 0 : start - 1;
    qsizetype openAt = 0;
    qsizetype closeAt = 0;
    if (!FindBracketPair(text, open, close, from, openAt, closeAt))
        return QString();
    return text.mid(openAt + 1, closeAt - openAt - 1);
}

void SplitBetween(const QString &text, QStringList &list, QChar open, QChar close)
{
    list.clear();
    QString rest = text;
    qsizetype openAt = 0;
    qsizetype closeAt = 0;
    // Each round removes the first bracketed piece, so the text shrinks every time; when
    // no close follows any open there is no piece left and the loop ends.
    while (FindBracketPair(rest, open, close, 0, openAt, closeAt)) {
        list.append(rest.mid(openAt + 1, closeAt - openAt - 1));
        rest.remove(openAt, closeAt - openAt + 1);
    }
}

int PosOf(const QString &text, const QString &sub)
{
    return int(FindSub(text, sub) + 1);
}

bool IsDigitChar(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool IsLetterChar(QChar c)
{
    const char16_t upper = (c >= u'a' && c <= u'z') ? char16_t(c.unicode() - (u'a' - u'A'))
                                                    : c.unicode();
    return upper >= u'A' && upper <= u'Z';
}

qint32 ReadFlagOrInt(const QString &text)
{
    const QString prepared = PrepareNumberText(text);
    qint32 value = 0;
    if (ReadSwitchKeyword(prepared, value))
        return value;
    return ParseInteger(prepared, value) ? value : 0;
}

double ReadFlagOrDouble(const QString &text)
{
    const QString prepared = PrepareNumberText(text);
    double number = 0.0;
    if (ParseLocaleFloat(prepared, number))
        return number;
    qint32 flag = 0;
    return ReadSwitchKeyword(prepared, flag) ? flag : 0.0;
}

float ReadFlagOrSingle(const QString &text)
{
    return float(ReadFlagOrDouble(text));
}

bool ParseInteger(const QString &text, qint32 &value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && (text.at(i) == u'$' || text.at(i) == u'x' || text.at(i) == u'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text.at(i) == u'0'
               && (text.at(i + 1) == u'x' || text.at(i + 1) == u'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return false;
    // Accumulate the magnitude in 64 bits; stop as soon as it leaves the 32-bit range.
    const qint64 limit = negative ? qint64(std::numeric_limits<qint32>::max()) + 1
                                  : qint64(std::numeric_limits<qint32>::max());
    qint64 magnitude = 0;
    for (; i < n; ++i) {
        const int digit = HexDigitValue(text.at(i));
        if (digit < 0 || digit >= base)
            return false;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return false;
    }
    value = qint32(negative ? -magnitude : magnitude);
    return true;
}

bool ParseLocaleFloat(const QString &text, double &value)
{
    QLocale locale;
    // Group separators are no part of the number syntax: "1.500" is no number in a
    // locale whose decimal separator is a comma.
    locale.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double number = locale.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(number))
        return false;
    value = number;
    return true;
}

QString FormatFixed(double value, int decimals)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', decimals);
}

quint8 ClampByte(quint8 value, quint8 low, quint8 high)
{
    if (value < low)
        return low;
    if (value > high)
        return high;
    return value;
}

bool InRange(qint32 value, quint16 low, quint16 high)
{
    return value >= low && value <= high;
}

bool WordBitSet(quint16 value, int bit)
{
    return bit >= 0 && bit < 16 && (value >> bit) & 1u;
}

bool BitInBytes(QByteArrayView bytes, int index)
{
    if (index < 0 || index / 8 >= bytes.size())
        return false;
    return (quint8(bytes.at(index / 8)) & (0x80u >> (index % 8))) != 0;
}
