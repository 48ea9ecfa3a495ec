#pragma once
// TSiteMonitor: one configured site seen through the driver for the console. It opens a
// driver session on the site, discovers its devices and points, hands the driver every point
// as its points list, collects the polled values on a timer (each change goes to the point's
// trend and out as ValuesChanged), reads SITESTATUS, SITETIME and the poller's figures now
// and then, asks for the
// state of points with a device object (POINTGETDISABLED), and runs writes and discoveries
// asked for by the page, one command at a time. When the driver goes away or the site fails
// it opens a new session after a pause that doubles up to the configured longest.

#include "client/SiteCommands.h"
#include "client/SiteSession.h"
#include "web/WebConfig.h"
#include "web/WebPoint.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class TTrendCsv;

struct TWebEvent
{
    qint64 Ms = 0;
    QString Site;
    QString Point;       // the address, when the event is about one point
    QString Text;
};

class TSiteMonitor : public QObject
{
    Q_OBJECT
public:
    enum TState { Opening, Discovering, Listing, Collecting, Waiting, Stopping };
    static constexpr qsizetype MaxQueuedWrites = 64;
    static constexpr qsizetype MaxEvents = 100;

    // Outcome of a write: "done", "refused" or "failed", and the driver's text.
    using WriteDone = std::function<void(const QString &outcome, const QString &message)>;

    TSiteMonitor(const TWebSiteConfig &site, const TWebConfig &config, const QDBusConnection &bus,
                 QObject *parent = nullptr);
    ~TSiteMonitor() override;

    void Start();
    void Stop(std::function<void()> stopped);
    // Trend samples also go to these files (nullptr: memory only).
    void SetTrendCsv(TTrendCsv *csv) { FCsv = csv; }

    const TSiteSettings &Settings() const { return FSite.Settings; }
    QString Description() const { return FSite.Settings.Description; }
    TState State() const { return FState; }
    static QString StateName(TState state);
    QString Problem() const { return FProblem; }
    const QStringList &StatusLines() const { return FStatusLines; }
    QString SiteTime() const { return FSiteTime; }
    // The driver's own poll figures (POLLSTATUS), read with the status.
    const TPollFigures &PollFigures() const { return FPoll; }
    qint64 SiteTimeReadMs() const { return FSiteTimeReadMs; }
    // How long the first poll cycle took (-1 while it runs), and since when values come.
    qint64 FirstCycleMs() const { return FFirstCycleMs; }
    qint64 ListSentMs() const { return FListSentMs; }
    // The values of the latest collection were read by the driver's poller after this time
    // (the start of the collection before it).
    qint64 ReadAfterMs() const { return FPreviousCollectStartMs; }
    const QList<TWebPoint> &Points() const { return FPoints; }
    qsizetype IndexOf(const QString &address) const { return FByAddress.value(address, -1); }
    int PointsWithValues() const { return FWithValues; }
    int FailedPoints() const;    // no value after the first cycle
    int DisabledPoints() const;
    bool DiscoveryRunning() const { return FState == Discovering || FDiscoveryWanted; }
    QString DiscoveryProgress() const { return FDiscoveryProgress; }
    qint64 DiscoveredMs() const { return FDiscoveredMs; }
    const QList<TWebEvent> &Events() const { return FEvents; }
    qint64 TrendBytes() const;

    // Discovers again when the site is next idle; false when the site is not online.
    bool Rediscover();
    // Queues a write of the checked value text; false with the refusal when it cannot.
    bool Write(qsizetype index, const QString &value, WriteDone done, QString &refusal);

Q_SIGNALS:
    void ValuesChanged(const QList<qsizetype> &indexes);
    void SiteChanged();           // state, status lines, time, discovery progress, counts
    void PointsReplaced();        // a discovery gave a new list of points

private:
    struct TWrite
    {
        qsizetype Index;
        QString Value;
        WriteDone Done;
    };

    void Schedule(int ms);
    void Tick();
    void Open();
    void Discover();
    void Discovered(const QStringList &entries);
    void SendList();
    void Collect();
    void TakeValues(const QStringList &items);
    void ReadStatus();
    void ReadPollFigures();
    void CheckDisabled();
    void RunWrite(TWrite write);
    void FailWrites(const QString &why);
    void Failed(const TSessionError &error);
    void GoOffline(const QString &problem);
    void Note(const QString &text, const QString &point = QString());

    TWebSiteConfig FSite;
    const TWebConfig &FConfig;
    QDBusConnection FBus;
    TSiteSession *FSession = nullptr;
    TTrendCsv *FCsv = nullptr;
    TState FState = Opening;
    QString FProblem;
    QTimer FTimer;
    int FRetryMs;
    QList<TWebPoint> FPoints;
    QHash<QString, qsizetype> FByAddress;
    QList<qsizetype> FWithObject;   // points POINTGETDISABLED can answer for
    qsizetype FNextDisabledCheck = 0;
    int FWithValues = 0;
    QList<TWrite> FWrites;
    bool FDiscoveryWanted = false;
    QString FDiscoveryProgress;
    qint64 FDiscoveredMs = 0;
    QStringList FStatusLines;
    QString FSiteTime;
    TPollFigures FPoll;
    qint64 FSiteTimeReadMs = 0;
    qint64 FNextStatusMs = 0;
    qint64 FNextDisabledMs = 0;
    qint64 FListSentMs = 0;
    qint64 FFirstCycleMs = -1;
    qint64 FLastCollectMs = 0;         // when a point last got its first value
    qint64 FCollectStartMs = 0;
    qint64 FPreviousCollectStartMs = 0;
    QList<TWebEvent> FEvents;
};
