#pragma once
// TMqttOutbox: the messages waiting to be handed to the MQTT library, with a bound that
// holds whatever arrives. A retained message stands for its topic's current state, so a
// newer one for the same topic replaces the one waiting (and keeps its place in the line):
// at most one retained message per topic waits. Other messages (the results of writes)
// wait in order, at most `maxEvents` of them; beyond that the oldest is dropped.

#include <QByteArray>
#include <QHash>
#include <QString>

#include <deque>
#include <map>

struct TMqttMessage
{
    QString Topic;
    QByteArray Payload;
    int Qos = 1;
    bool Retain = false;
};

class TMqttOutbox
{
public:
    explicit TMqttOutbox(qsizetype maxEvents) : FMaxEvents(maxEvents) {}

    // False when the message made an older one be dropped (not when it replaced one).
    bool Add(const TMqttMessage &message);
    bool IsEmpty() const { return FLine.empty(); }
    qsizetype Size() const { return qsizetype(FLine.size()); }
    // The message that waited longest; the outbox must not be empty.
    TMqttMessage Take();
    void Clear();

private:
    qsizetype FMaxEvents;
    quint64 FNext = 0;
    std::map<quint64, TMqttMessage> FLine;     // by the order they came
    QHash<QString, quint64> FRetained;          // the topic of each waiting retained message
    std::deque<quint64> FEvents;                // the waiting non-retained messages, oldest first
};
