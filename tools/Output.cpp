#include "tools/Output.h"

#include <QJsonDocument>

#include <cstdio>

namespace {

void Write(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void WriteOut(const QString &text)
{
    Write(stdout, text);
}

void WriteErr(const QString &text)
{
    Write(stderr, text);
}

void PrintLine(const QString &line)
{
    WriteOut(line + u'\n');
}

void PrintJson(const QJsonObject &object)
{
    WriteOut(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)));
}

void PrintJson(const QJsonArray &array)
{
    WriteOut(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
}

void PrintJsonLine(const QJsonObject &object)
{
    WriteOut(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + u'\n');
}

QStringList TTable::Lines() const
{
    QList<qsizetype> widths;
    for (const QString &header : FHeaders)
        widths.append(header.size());
    for (const QStringList &row : FRows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i >= widths.size())
                widths.append(0);
            widths[i] = qMax(widths[i], row[i].size());
        }
    }
    auto format = [&widths](const QStringList &cells) {
        QString line;
        for (qsizetype i = 0; i < cells.size(); ++i) {
            if (i > 0)
                line += QStringLiteral("  ");
            line += i + 1 < cells.size() ? cells[i].leftJustified(widths[i]) : cells[i];
        }
        while (line.endsWith(u' '))
            line.chop(1);
        return line;
    };
    QStringList lines{format(FHeaders)};
    for (const QStringList &row : FRows)
        lines.append(format(row));
    return lines;
}

void TTable::Print() const
{
    for (const QString &line : Lines())
        PrintLine(line);
}
