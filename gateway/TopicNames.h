#pragma once
// Names as MQTT topic levels and Home Assistant ids. A topic level keeps letters, digits,
// "_", "-" and "."; any other run of characters (blanks, "/", "+", "#", brackets, ...)
// becomes one "_", and "_" at either end is dropped: "nvoZoneTemp[0]" gives "nvoZoneTemp_0".

#include <QList>
#include <QString>
#include <QStringList>

QString TopicLevel(const QString &name);
// Only [A-Za-z0-9_-]: what Home Assistant takes in node ids and object ids.
QString IdText(const QString &text);

// One point for UniqueTopicLevels: its name and device (domain:subnet:node).
struct TNamedPoint
{
    QString Name;
    QString Device;
    QString Address;
};

// The topic level of every point of one site, in the same order, all different:
// 1. the sanitised name (the address's when the name sanitises to nothing);
// 2. where several points share it, each gets its device appended ("nvoSpaceTemp_0-1-10");
// 3. where that still leaves equal levels, the second, third, ... get "_2", "_3", ...
// The result depends only on the list, so a restart gives every point its topic again.
QStringList UniqueTopicLevels(const QList<TNamedPoint> &points);
