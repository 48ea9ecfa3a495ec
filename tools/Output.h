#pragma once
// What lonctl prints: text to stdout and stderr (UTF-8), aligned tables for people and
// JSON documents for scripts.

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

void WriteOut(const QString &text);   // as given; add "\n" yourself
void WriteErr(const QString &text);
void PrintLine(const QString &line);  // stdout, with a newline
void PrintJson(const QJsonObject &object);
void PrintJson(const QJsonArray &array);
// One compact JSON object on one line (JSON Lines, for streams such as watch).
void PrintJsonLine(const QJsonObject &object);

// Columns separated by two blanks, each as wide as its widest cell; the last column is
// not padded.
class TTable
{
public:
    explicit TTable(QStringList headers) : FHeaders(std::move(headers)) {}
    void AddRow(const QStringList &cells) { FRows.append(cells); }
    qsizetype RowCount() const { return FRows.size(); }
    QStringList Lines() const;
    void Print() const;

private:
    QStringList FHeaders;
    QList<QStringList> FRows;
};
