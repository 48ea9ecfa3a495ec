#include "web/TrendCsv.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcTrendCsv, "lonworks.web.trend")

TTrendCsv::TTrendCsv(const QString &folder) : FFolder(folder)
{
}

TTrendCsv::~TTrendCsv()
{
    for (const TOpenFile &file : std::as_const(FFiles)) {
        if (file.Fd >= 0)
            ::close(file.Fd);
    }
}

QByteArray TTrendCsv::Line(qint64 ms, const QString &address, double value)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODate).toLatin1() + ',' + address.toUtf8()
        + ',' + QByteArray::number(value, 'g', 8) + '\n';
}

QString TTrendCsv::FileName(const QString &site, QDate day) const
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9_.-]"));
    QString name = site;
    name.replace(unsafe, QStringLiteral("_"));
    return QDir(FFolder).filePath(name + u'-' + day.toString(Qt::ISODate) + QStringLiteral(".csv"));
}

void TTrendCsv::Append(const QString &site, qint64 ms, const QByteArray &lines)
{
    if (lines.isEmpty())
        return;
    const QDate day = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).date();
    TOpenFile &file = FFiles[site];
    if (file.Day != day) {
        if (file.Fd >= 0)
            ::close(file.Fd);
        file.Day = day;
        file.Fd = -1;
        if (!FFolderMade)
            FFolderMade = QDir().mkpath(FFolder);
        const QByteArray path = QFile::encodeName(FileName(site, day));
        file.Fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0640);
        if (file.Fd < 0) {
            qCWarning(lcTrendCsv, "cannot append to %s: %s; no CSV trend for site \"%s\" today", path.constData(),
                      std::strerror(errno), qPrintable(site));
            return;
        }
    }
    if (file.Fd < 0)
        return;
    QByteArray text = lines;
    if (::lseek(file.Fd, 0, SEEK_END) == 0)
        text.prepend("time,address,value\n");
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(file.Fd, text.constData() + done, size_t(text.size() - done));
        if (written <= 0) {
            if (written < 0 && errno == EINTR)
                continue;
            qCWarning(lcTrendCsv, "writing the CSV trend of site \"%s\" failed: %s; stopping until tomorrow",
                      qPrintable(site), std::strerror(errno));
            ::close(file.Fd);
            file.Fd = -1;
            return;
        }
        done += written;
    }
}
