#include "gateway/TopicNames.h"

#include <QHash>
#include <QSet>

namespace {

constexpr int kMaxLevelLength = 80;

QString Sanitised(const QString &text, bool asciiOnly, const QString &keep)
{
    QString out;
    out.reserve(text.size());
    bool gap = false;
    for (const QChar c : text) {
        const bool ascii = c.unicode() < 128;
        const bool kept = (ascii && (c.isLetterOrNumber() || keep.contains(c)))
            || (!asciiOnly && !ascii && c.isLetterOrNumber());
        if (kept) {
            if (gap && !out.isEmpty())
                out += u'_';
            gap = false;
            out += c;
        } else {
            gap = true;
        }
    }
    while (out.endsWith(u'_'))
        out.chop(1);
    while (out.startsWith(u'_'))
        out.remove(0, 1);
    return out.left(kMaxLevelLength);
}

} // namespace

QString TopicLevel(const QString &name)
{
    return Sanitised(name, false, QStringLiteral("_-."));
}

QString IdText(const QString &text)
{
    return Sanitised(text, true, QStringLiteral("_-"));
}

QStringList UniqueTopicLevels(const QList<TNamedPoint> &points)
{
    QStringList levels;
    levels.reserve(points.size());
    QHash<QString, int> uses;
    for (const TNamedPoint &point : points) {
        QString level = TopicLevel(point.Name);
        if (level.isEmpty())
            level = TopicLevel(point.Address);
        levels.append(level);
        ++uses[level];
    }
    for (qsizetype i = 0; i < levels.size(); ++i) {
        if (uses.value(levels.at(i)) > 1)
            levels[i] += u'_' + TopicLevel(QString(points.at(i).Device).replace(u':', u'-'));
    }
    // A suffix never takes a level that another point has as its own.
    const QSet<QString> wanted(levels.cbegin(), levels.cend());
    QSet<QString> assigned;
    for (QString &level : levels) {
        if (assigned.contains(level)) {
            int n = 2;
            while (wanted.contains(level + u'_' + QString::number(n))
                   || assigned.contains(level + u'_' + QString::number(n)))
                ++n;
            level += u'_' + QString::number(n);
        }
        assigned.insert(level);
    }
    return levels;
}
