#pragma once
// TTrendCsv: trend samples appended to one CSV file per site and UTC day in a folder,
// "time,address,value". A file is opened without following a symbolic link; a file that
// cannot be written is reported once and skipped until the next day.

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QString>

class TTrendCsv
{
public:
    explicit TTrendCsv(const QString &folder);
    ~TTrendCsv();
    TTrendCsv(const TTrendCsv &) = delete;
    TTrendCsv &operator=(const TTrendCsv &) = delete;

    // Lines "time,address,value\n" of one site, written in one go.
    void Append(const QString &site, qint64 ms, const QByteArray &lines);
    static QByteArray Line(qint64 ms, const QString &address, double value);
    QString FileName(const QString &site, QDate day) const;

private:
    struct TOpenFile
    {
        QDate Day;
        int Fd = -1;
    };
    QString FFolder;
    bool FFolderMade = false;
    QHash<QString, TOpenFile> FFiles;
};
