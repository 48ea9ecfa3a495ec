#include "tools/HexText.h"

#include <QRegularExpression>
#include <QStringList>

bool ParseHexBytes(const QString &text, QByteArray &bytes, QString &bad)
{
    bytes.clear();
    bad.clear();
    static const QRegularExpression separators(QStringLiteral("[\\s:,\\-]+"));
    const QStringList pieces = text.split(separators, Qt::SkipEmptyParts);
    for (QString piece : pieces) {
        const QString original = piece;
        if (piece.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            piece.remove(0, 2);
        if (piece.isEmpty() || piece.size() % 2 != 0) {
            bad = original;
            return false;
        }
        for (qsizetype i = 0; i < piece.size(); i += 2) {
            bool ok = false;
            const uint value = piece.mid(i, 2).toUInt(&ok, 16);
            // toUInt accepts a sign or blanks; only two hex digits count as a byte.
            if (!ok || !piece.at(i).isLetterOrNumber() || !piece.at(i + 1).isLetterOrNumber()) {
                bad = original;
                bytes.clear();
                return false;
            }
            bytes.append(char(value));
        }
    }
    return true;
}

QString FormatHexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QStringList HexDump(const QByteArray &bytes)
{
    QStringList lines;
    for (qsizetype at = 0; at < bytes.size(); at += 16) {
        const QByteArray row = bytes.mid(at, 16);
        QString ascii;
        for (char c : row)
            ascii += (c >= 0x20 && c < 0x7F) ? QChar::fromLatin1(c) : QChar(u'.');
        lines.append(QStringLiteral("%1  %2  %3")
                         .arg(QStringLiteral("%1").arg(at, 8, 16, QChar(u'0')).toUpper())
                         .arg(FormatHexBytes(row), -47)
                         .arg(ascii));
    }
    return lines;
}
