#include "gateway/Gateway.h"

#include "gateway/SiteBridge.h"
#include "gateway/SitePublisher.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcGateway, "lonworks.gateway")

namespace {

// How long the stop waits for the broker to acknowledge the last messages.
constexpr int kFlushMs = 5000;

} // namespace

TGateway::TGateway(const TGatewayConfig &config, int onceTimeoutMs, QObject *parent)
    : QObject(parent), FConfig(config),
      FLayout{config.Prefix, config.GatewayId, config.DiscoveryPrefix},
      FMqtt(config.Broker), FOnceTimeoutMs(onceTimeoutMs)
{
    connect(&FMqtt, &TMqttConnection::Connected, this, &TGateway::Connected);
    connect(&FMqtt, &TMqttConnection::Disconnected, this, [this](const QString &why) {
        if (!FStopping)
            qCWarning(lcGateway, "broker %s:%d: %s; connecting again", qPrintable(FConfig.Broker.Host),
                      FConfig.Broker.Port, qPrintable(why));
    });
    connect(&FMqtt, &TMqttConnection::MessageReceived, this, &TGateway::Message);

    for (const TSiteConfig &site : FConfig.Sites) {
        FPublishers.push_back(std::make_unique<TSitePublisher>(FMqtt, FLayout, site.Topic,
                                                               site.Settings.Description,
                                                               FConfig.HomeAssistant));
        auto *bridge = new TSiteBridge(site, FConfig, *FPublishers.back(), this);
        if (FOnceTimeoutMs > 0)
            connect(bridge, &TSiteBridge::Collected, this, &TGateway::CheckSnapshot);
        FBridges.append(bridge);
    }
    FOnceDeadline.setSingleShot(true);
    connect(&FOnceDeadline, &QTimer::timeout, this, [this] {
        if (!FMqtt.IsConnected()) {
            qCCritical(lcGateway, "could not reach the broker %s:%d (%s)", qPrintable(FConfig.Broker.Host),
                       FConfig.Broker.Port, qPrintable(FMqtt.LastProblem()));
            Stop(BrokerUnreachable);
            return;
        }
        int missing = 0;
        bool allOnline = true;
        for (const TSiteBridge *bridge : std::as_const(FBridges)) {
            allOnline = allOnline && bridge->Online();
            missing += int(bridge->Points().size()) - bridge->PointsWithValues();
            if (!bridge->Online())
                qCCritical(lcGateway, "a site is offline: %s", qPrintable(bridge->Problem()));
        }
        if (allOnline && missing > 0)
            qCCritical(lcGateway, "%d point%s had no value when the time was up", missing,
                       missing == 1 ? "" : "s");
        Stop(!allOnline ? SiteFailed : missing > 0 ? PointsWithoutValue : 0);
    });
    FFlushDeadline.setSingleShot(true);
    connect(&FFlushDeadline, &QTimer::timeout, this, &TGateway::Disconnect);
    FAnnounce.setSingleShot(true);
    connect(&FAnnounce, &QTimer::timeout, this, [this] {
        if (FStopping)
            return;
        qCInfo(lcGateway, "Home Assistant announced itself: its discovery configs again");
        for (const auto &publisher : FPublishers)
            publisher->RepublishDiscovery();
    });
}

TGateway::~TGateway() = default;

void TGateway::Start()
{
    qCInfo(lcGateway, "broker %s:%d%s, topics under %s/, %lld site%s",
           qPrintable(FConfig.Broker.Host), FConfig.Broker.Port, FConfig.Broker.Tls ? " (TLS)" : "",
           qPrintable(FConfig.Prefix), qlonglong(FBridges.size()), FBridges.size() == 1 ? "" : "s");
    FMqtt.Start();
    for (TSiteBridge *bridge : std::as_const(FBridges))
        bridge->Start();
    if (FOnceTimeoutMs > 0)
        FOnceDeadline.start(FOnceTimeoutMs);
}

void TGateway::Connected()
{
    qCInfo(lcGateway, "connected to the broker %s:%d", qPrintable(FConfig.Broker.Host), FConfig.Broker.Port);
    FMqtt.Publish(FLayout.GatewayStatus(), QByteArrayLiteral("online"), 1, true);
    for (const auto &publisher : FPublishers)
        FMqtt.Subscribe(FLayout.SetPattern(publisher->SiteTopic()), 1);
    if (FConfig.HomeAssistant)
        FMqtt.Subscribe(FLayout.HomeAssistantStatus(), 1);
    // Whatever the sites published while the broker was away goes out now.
    for (const auto &publisher : FPublishers)
        publisher->Republish();
    if (FOnceTimeoutMs > 0)
        CheckSnapshot();
}

void TGateway::Message(const QString &topic, const QByteArray &payload, bool retained)
{
    if (FStopping)
        return;
    if (topic == FLayout.HomeAssistantStatus()) {
        if (payload == "online")
            HomeAssistantAnnounced();
        return;
    }
    // <prefix>/<site>/<point>/set: the prefix may have several levels of its own.
    const QString start = FConfig.Prefix + u'/';
    if (!topic.startsWith(start) || !topic.endsWith(QLatin1String("/set")))
        return;
    const QStringList levels = topic.mid(start.size()).split(u'/');
    if (levels.size() != 3)
        return;
    if (retained) {
        // A retained set would be written again at every reconnect, over whatever others
        // wrote since: only fresh set messages are acted on.
        qCWarning(lcGateway, "ignored the retained message on %s: set messages are acted on only "
                             "when published without the retain flag (clear it with an empty "
                             "retained message)", qPrintable(topic));
        return;
    }
    for (qsizetype i = 0; i < FBridges.size(); ++i) {
        if (FPublishers.at(size_t(i))->SiteTopic() == levels.at(0)) {
            FBridges.at(i)->Write(levels.at(1), payload);
            return;
        }
    }
}

void TGateway::HomeAssistantAnnounced()
{
    // One republish per burst: wait until the announcements have stopped for a moment, but
    // not longer than AnnounceLatestMs after the first of them.
    if (!FAnnounce.isActive())
        FAnnounceLatest.setRemainingTime(AnnounceLatestMs);
    FAnnounce.start(int(qMin<qint64>(AnnounceQuietMs, FAnnounceLatest.remainingTime())));
}

void TGateway::CheckSnapshot()
{
    if (FStopping || !FMqtt.IsConnected())
        return;
    for (const TSiteBridge *bridge : std::as_const(FBridges)) {
        if (!bridge->Online() || bridge->PointsWithValues() < bridge->Points().size())
            return;
    }
    qCInfo(lcGateway, "snapshot published");
    Stop(0);
}

void TGateway::Stop(int exitCode)
{
    if (FStopping)
        return;
    FStopping = true;
    FExitCode = exitCode;
    FOnceDeadline.stop();
    FSitesToStop = int(FBridges.size());
    for (TSiteBridge *bridge : std::as_const(FBridges)) {
        bridge->Stop([this] {
            if (--FSitesToStop > 0)
                return;
            // A clean DISCONNECT drops the will: say "offline" ourselves, then wait until
            // the broker has every message.
            FMqtt.Publish(FLayout.GatewayStatus(), QByteArrayLiteral("offline"), 1, true);
            if (FMqtt.Unacknowledged() == 0) {
                Disconnect();
                return;
            }
            connect(&FMqtt, &TMqttConnection::AllAcknowledged, this, &TGateway::Disconnect);
            FFlushDeadline.start(kFlushMs);
        });
    }
}

void TGateway::Disconnect()
{
    if (FFinished)
        return;
    FFinished = true;
    FFlushDeadline.stop();
    disconnect(&FMqtt, &TMqttConnection::AllAcknowledged, this, nullptr);
    FMqtt.Disconnect();
    Q_EMIT Finished(FExitCode);
}
