#pragma once
// TGateway: the whole program's work. It keeps the broker connection (gateway status as
// the will, "online" once connected), one bridge and one publisher per site, hands set
// messages to the right site (a retained set message is logged and ignored: it would be
// written again at every reconnect), republishes everything after a reconnect and Home
// Assistant's discovery once per burst of Home Assistant's announcements, and stops in
// order: sites offline, gateway offline, everything acknowledged, DISCONNECT.

#include "gateway/GatewayConfig.h"
#include "gateway/MqttConnection.h"
#include "gateway/TopicLayout.h"

#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <memory>

class TSiteBridge;
class TSitePublisher;

class TGateway : public QObject
{
    Q_OBJECT
public:
    // Exit statuses of a run (--once) besides 0.
    enum Outcome { SiteFailed = 1, BrokerUnreachable = 2, PointsWithoutValue = 3 };
    // A burst of Home Assistant announcements is answered once: this long after the last of
    // them, and at the latest this long after the first.
    static constexpr int AnnounceQuietMs = 1000;
    static constexpr int AnnounceLatestMs = 10000;

    // onceTimeoutMs > 0: publish one snapshot (every point with a value, or the time is up)
    // and stop.
    TGateway(const TGatewayConfig &config, int onceTimeoutMs, QObject *parent = nullptr);
    ~TGateway() override;

    void Start();
    void Stop(int exitCode = 0);

Q_SIGNALS:
    void Finished(int exitCode);

private:
    void Connected();
    void Message(const QString &topic, const QByteArray &payload, bool retained);
    void HomeAssistantAnnounced();
    void CheckSnapshot();
    void Disconnect();

    TGatewayConfig FConfig;
    TTopicLayout FLayout;
    TMqttConnection FMqtt;
    std::vector<std::unique_ptr<TSitePublisher>> FPublishers;
    QList<TSiteBridge *> FBridges;
    int FOnceTimeoutMs;
    QTimer FOnceDeadline;
    QTimer FFlushDeadline;
    QTimer FAnnounce;
    QDeadlineTimer FAnnounceLatest;
    bool FFinished = false;
    bool FStopping = false;
    int FExitCode = 0;
    int FSitesToStop = 0;
};
