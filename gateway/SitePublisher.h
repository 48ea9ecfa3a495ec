#pragma once
// TSitePublisher: everything one site puts on the broker: its status, and for each point
// its state, attributes, Home Assistant discovery and the results of writes. Publishes only
// while the broker connection is up; Republish() sends the retained messages again after a
// reconnect. Attributes describe the point and go out only when they change (and after a
// reconnect); a new value sends the state alone.

#include "gateway/GatewayPoint.h"
#include "gateway/TopicLayout.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

class TMqttConnection;

class TSitePublisher
{
public:
    TSitePublisher(TMqttConnection &mqtt, const TTopicLayout &layout, const QString &siteTopic,
                   const QString &siteDescription, bool homeAssistant);

    const QString &SiteTopic() const { return FSiteTopic; }

    void Status(bool online);
    // The points are known (first time, or changed): discovery, attributes and states.
    void Points(const QList<TGatewayPoint> &points);
    // The point at this index of the list given to Points() has a new value.
    void Value(qsizetype index, const TGatewayPoint &point);
    // The outcome of a set: "done", "refused" or "failed", with the message.
    void Result(const TGatewayPoint &point, const QString &outcome, const QString &value,
                const QString &message);
    // After a reconnect: status, discovery, attributes and states again.
    void Republish();
    // The Home Assistant configs again (Home Assistant restarted).
    void RepublishDiscovery();

private:
    void Send(const QString &topic, const QByteArray &payload, bool retain);
    void SendAttributes(const TGatewayPoint &point);
    void SendState(const TGatewayPoint &point);

    TMqttConnection &FMqtt;
    TTopicLayout FLayout;
    QString FSiteTopic;
    QString FDescription;
    bool FHomeAssistant;
    bool FOnline = false;
    bool FStatusKnown = false;
    QList<TGatewayPoint> FPoints;   // as last published, for republishing
    QHash<QString, QByteArray> FAttributes;   // the attributes last sent, by topic
};
