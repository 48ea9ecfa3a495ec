#include "gateway/SitePublisher.h"

#include "gateway/HomeAssistant.h"
#include "gateway/MqttConnection.h"
#include "gateway/PointPayloads.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

TSitePublisher::TSitePublisher(TMqttConnection &mqtt, const TTopicLayout &layout,
                               const QString &siteTopic, const QString &siteDescription,
                               bool homeAssistant)
    : FMqtt(mqtt), FLayout(layout), FSiteTopic(siteTopic), FDescription(siteDescription),
      FHomeAssistant(homeAssistant)
{
}

void TSitePublisher::Send(const QString &topic, const QByteArray &payload, bool retain)
{
    FMqtt.Publish(topic, payload, 1, retain);
}

void TSitePublisher::Status(bool online)
{
    FOnline = online;
    FStatusKnown = true;
    Send(FLayout.SiteStatus(FSiteTopic), online ? QByteArrayLiteral("online") : QByteArrayLiteral("offline"), true);
}

void TSitePublisher::SendAttributes(const TGatewayPoint &point)
{
    const QString topic = FLayout.Point(FSiteTopic, point.Topic, "attributes");
    const QByteArray payload = AttributesPayload(point, FDescription);
    if (FAttributes.value(topic) == payload)
        return;
    FAttributes.insert(topic, payload);
    Send(topic, payload, true);
}

void TSitePublisher::SendState(const TGatewayPoint &point)
{
    if (point.HasValue)
        Send(FLayout.Point(FSiteTopic, point.Topic, "state"), StatePayload(point), true);
}

void TSitePublisher::Points(const QList<TGatewayPoint> &points)
{
    FPoints = points;
    RepublishDiscovery();
    for (const TGatewayPoint &point : FPoints) {
        SendAttributes(point);
        SendState(point);
    }
}

void TSitePublisher::Value(qsizetype index, const TGatewayPoint &point)
{
    if (index >= 0 && index < FPoints.size())
        FPoints[index] = point;
    SendState(point);
}

void TSitePublisher::Result(const TGatewayPoint &point, const QString &outcome, const QString &value,
                            const QString &message)
{
    QJsonObject result{{QStringLiteral("result"), outcome},
                       {QStringLiteral("value"), value},
                       {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)}};
    if (!message.isEmpty())
        result.insert(QStringLiteral("message"), message);
    Send(FLayout.Point(FSiteTopic, point.Topic, "result"), QJsonDocument(result).toJson(QJsonDocument::Compact),
         false);
}

void TSitePublisher::RepublishDiscovery()
{
    if (!FHomeAssistant)
        return;
    const TDiscoveryMessage site = SiteDiscovery(FLayout, FSiteTopic, FDescription);
    Send(site.Topic, site.Payload, true);
    for (const TGatewayPoint &point : FPoints) {
        const TDiscoveryMessage message = PointDiscovery(FLayout, FSiteTopic, FDescription, point);
        Send(message.Topic, message.Payload, true);
    }
}

void TSitePublisher::Republish()
{
    if (FStatusKnown)
        Status(FOnline);
    RepublishDiscovery();
    // A broker that restarted may have lost them: everything again.
    FAttributes.clear();
    for (const TGatewayPoint &point : FPoints) {
        SendAttributes(point);
        SendState(point);
    }
}
