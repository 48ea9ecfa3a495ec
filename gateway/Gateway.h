#pragma once
// TGateway: the whole program's work. It keeps the broker connection (gateway status as
// the will, "online" once connected), one bridge and one publisher per site, hands set
// messages to the right site, republishes everything after a reconnect and Home Assistant's
// discovery after Home Assistant announces itself, and stops in order: sites offline,
// gateway offline, everything acknowledged, DISCONNECT.

#include "gateway/GatewayConfig.h"
#include "gateway/MqttConnection.h"
#include "gateway/TopicLayout.h"

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
    void Message(const QString &topic, const QByteArray &payload);
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
    bool FFinished = false;
    bool FStopping = false;
    int FExitCode = 0;
    int FSitesToStop = 0;
};
