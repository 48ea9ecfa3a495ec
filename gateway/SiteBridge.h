#pragma once
// TSiteBridge: one configured site seen through the driver. It opens a driver session on the
// site, learns its points (discovery, filtered by name, or the configured list), hands the
// driver the points list, collects the polled values on a timer and reports every change
// to the site's publisher, and runs the writes that arrive from the broker one at a time.
// When the driver goes away or the site fails, the site is offline on the broker and the
// bridge opens a new session after a pause that doubles up to the configured longest.

#include "client/SiteSession.h"
#include "gateway/GatewayConfig.h"
#include "gateway/GatewayPoint.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class TSitePublisher;

class TSiteBridge : public QObject
{
    Q_OBJECT
public:
    TSiteBridge(const TSiteConfig &site, const TGatewayConfig &gateway, TSitePublisher &publisher,
                QObject *parent = nullptr);
    ~TSiteBridge() override;

    void Start();
    // Offline on the broker, then Disconnect and Release; `stopped` when done.
    void Stop(std::function<void()> stopped);

    bool Online() const { return FState == Collecting; }
    const QList<TGatewayPoint> &Points() const { return FPoints; }
    // Points that have a value.
    int PointsWithValues() const { return FWithValues; }
    // Why the site is not online (empty while it is).
    QString Problem() const { return FProblem; }

    // A payload on the point's set topic.
    void Write(const QString &pointTopic, const QByteArray &payload);

Q_SIGNALS:
    // The site came online or went offline.
    void StateChanged();
    // One collection of values ended (the --once mode watches this).
    void Collected();

private:
    enum State { Idle, Opening, Discovering, Listing, Collecting, Waiting, Stopping };
    struct TWrite
    {
        qsizetype Index;
        QString Value;
    };

    void Open();
    void Opened();
    void Discovered(const QStringList &entries);
    void UsePoints(QList<TGatewayPoint> points);
    void SendList();
    void Tick();
    void Collect();
    // The driver's poll figures (GETDATA POLLSTATUS), logged: the cycle this site observes.
    void AskPollFigures();
    void RunWrite(const TWrite &write);
    void Failed(const TSessionError &error);
    void GoOffline(const QString &problem);
    void Schedule(int ms);

    TSiteConfig FSite;
    const TGatewayConfig &FGateway;
    TSitePublisher &FPublisher;
    QPointer<TSiteSession> FSession;
    State FState = Idle;
    QTimer FTimer;
    int FRetryMs;
    QString FProblem;
    QList<TGatewayPoint> FPoints;
    QHash<QString, qsizetype> FByTopic;
    QHash<QString, qsizetype> FByAddress;
    QList<TWrite> FWrites;
    int FWithValues = 0;
    int FCollections = 0;
    bool FWantFigures = false;
    QString FLastFigures;
};
