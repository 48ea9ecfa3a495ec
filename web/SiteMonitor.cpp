#include "web/SiteMonitor.h"

#include "client/PointEntries.h"
#include "client/SiteCommands.h"
#include "web/TrendCsv.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcWebSite, "lonworks.web.site")

namespace {

const QString kClientName = QStringLiteral("web");
// The first poll cycle counts as over once every point has a value, or once no point got
// its first value for this long: the points still without one have failed.
constexpr qint64 kFirstCycleQuietMs = 15000;
// POINTGETDISABLED: one point of those with a device object every so often.
constexpr qint64 kDisabledCheckMs = 2000;
// The pause between two COMMANDSTATUS polls: short, so that collected values show soon.
constexpr int kStatusPollMs = 50;

qint64 NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

TSiteMonitor::TSiteMonitor(const TWebSiteConfig &site, const TWebConfig &config, const QDBusConnection &bus,
                           QObject *parent)
    : QObject(parent), FSite(site), FConfig(config), FBus(bus), FRetryMs(config.RetryMinMs)
{
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, &TSiteMonitor::Tick);
}

TSiteMonitor::~TSiteMonitor() = default;

QString TSiteMonitor::StateName(TState state)
{
    switch (state) {
    case Opening: return QStringLiteral("connecting");
    case Discovering: return QStringLiteral("discovering");
    case Listing: return QStringLiteral("listing");
    case Collecting: return QStringLiteral("online");
    case Waiting: return QStringLiteral("offline");
    case Stopping: return QStringLiteral("stopping");
    }
    return QString();
}

int TSiteMonitor::FailedPoints() const
{
    if (FFirstCycleMs < 0)
        return 0;
    int failed = 0;
    for (const TWebPoint &point : FPoints)
        failed += !point.HasValue && !point.Disabled;
    return failed;
}

int TSiteMonitor::DisabledPoints() const
{
    int disabled = 0;
    for (const TWebPoint &point : FPoints)
        disabled += point.Disabled;
    return disabled;
}

qint64 TSiteMonitor::TrendBytes() const
{
    qint64 bytes = 0;
    for (const TWebPoint &point : FPoints)
        bytes += point.Trend.MemoryBytes();
    return bytes;
}

void TSiteMonitor::Start()
{
    Open();
}

void TSiteMonitor::Schedule(int ms)
{
    FTimer.start(ms);
}

void TSiteMonitor::Note(const QString &text, const QString &point)
{
    FEvents.append(TWebEvent{NowMs(), Description(), point, text});
    if (FEvents.size() > MaxEvents)
        FEvents.removeFirst();
}

void TSiteMonitor::Open()
{
    if (FSession)
        FSession->deleteLater();
    FSession = new TSiteSession(FBus, this);
    FSession->SetCallTimeout(FConfig.CommandTimeoutMs);
    FSession->SetPollInterval(kStatusPollMs);
    connect(FSession, &TSiteSession::Progress, this, [this](const QString &text) {
        if (FState == Discovering) {
            FDiscoveryProgress = text;
            Q_EMIT SiteChanged();
        }
    });
    FState = Opening;
    Q_EMIT SiteChanged();
    qCInfo(lcWebSite, "site \"%s\": connecting to %s", qPrintable(Description()), qPrintable(FSite.Settings.Interface));
    FSession->Open(FSite.Settings, FConfig.CommandTimeoutMs, [this] {
        FNextStatusMs = 0;
        if (FPoints.isEmpty())
            Discover();
        else
            SendList();   // known from an earlier session: the driver was restarted
    }, [this](const TSessionError &error) { Failed(error); });
}

void TSiteMonitor::Discover()
{
    FState = Discovering;
    FDiscoveryWanted = false;
    FDiscoveryProgress = QStringLiteral("Reading Data...");
    Q_EMIT SiteChanged();
    qCInfo(lcWebSite, "site \"%s\": discovering its points", qPrintable(Description()));
    FSession->Run(DiscoveryRequest(), FConfig.DiscoveryTimeoutMs,
                  [this](const TDriverAnswer &answer) {
                      if (answer.Type == TDriverAnswer::Done)
                          Discovered(answer.Items);
                      else
                          GoOffline(DiscoveryProblem(answer));
                  },
                  [this](const TSessionError &error) { Failed(error); });
}

void TSiteMonitor::Discovered(const QStringList &entries)
{
    // Values and trends of points that stay are kept.
    QList<TWebPoint> points;
    QHash<QString, qsizetype> byAddress;
    for (const QString &line : entries) {
        TPointEntry entry;
        if (!ParsePointEntry(line, entry) || entry.Address.isEmpty() || byAddress.contains(entry.Address))
            continue;
        const qsizetype old = FByAddress.value(entry.Address, -1);
        TWebPoint point = MakeWebPoint(entry.Address, entry.Name, entry.Units, entry.Kind, entry.Writable,
                                       FSite.Settings.Fahrenheit);
        if (old >= 0) {
            const TWebPoint &before = FPoints.at(old);
            point.HasValue = before.HasValue;
            point.Value = before.Value;
            point.ChangedMs = before.ChangedMs;
            point.Trend = before.Trend;
        }
        byAddress.insert(point.Address, points.size());
        points.append(point);
    }
    FailWrites(QStringLiteral("The site's points were discovered again: nothing was written."));
    FPoints = std::move(points);
    FByAddress = std::move(byAddress);
    FWithObject.clear();
    FWithValues = 0;
    for (qsizetype i = 0; i < FPoints.size(); ++i) {
        FWithValues += FPoints.at(i).HasValue;
        if (FPoints.at(i).Address.count(u',') >= 2)
            FWithObject.append(i);
    }
    FDiscoveredMs = NowMs();
    FDiscoveryProgress.clear();
    qCInfo(lcWebSite, "site \"%s\": %lld points", qPrintable(Description()), qlonglong(FPoints.size()));
    Note(QStringLiteral("discovery found %1 points").arg(FPoints.size()));
    Q_EMIT PointsReplaced();
    if (FPoints.isEmpty()) {
        GoOffline(QStringLiteral("discovery found no point"));
        return;
    }
    SendList();
}

void TSiteMonitor::SendList()
{
    FState = Listing;
    QStringList addresses;
    addresses.reserve(FPoints.size());
    for (const TWebPoint &point : std::as_const(FPoints))
        addresses.append(point.Address);
    FSession->Put(PointsListRequest(addresses),
                  [this](const TDriverAnswer &answer) {
                      if (answer.Type != TDriverAnswer::Done) {
                          GoOffline(QStringLiteral("the driver did not take the points list"));
                          return;
                      }
                      FState = Collecting;
                      FProblem.clear();
                      FRetryMs = FConfig.RetryMinMs;
                      FListSentMs = NowMs();
                      FFirstCycleMs = -1;
                      FLastCollectMs = FListSentMs;
                      qCInfo(lcWebSite, "site \"%s\": online", qPrintable(Description()));
                      Q_EMIT SiteChanged();
                      Schedule(0);
                  },
                  [this](const TSessionError &error) { Failed(error); });
}

void TSiteMonitor::Tick()
{
    if (FState == Waiting) {
        Open();
        return;
    }
    if (FState != Collecting || !FSession || FSession->Busy())
        return;
    const qint64 now = NowMs();
    if (!FWrites.isEmpty())
        RunWrite(FWrites.takeFirst());
    else if (FDiscoveryWanted)
        Discover();
    else if (now >= FNextStatusMs)
        ReadStatus();
    else if (!FWithObject.isEmpty() && now >= FNextDisabledMs)
        CheckDisabled();
    else
        Collect();
}

void TSiteMonitor::Collect()
{
    FPreviousCollectStartMs = FCollectStartMs;
    FCollectStartMs = NowMs();
    FSession->Run(CollectRequest(), FConfig.CommandTimeoutMs,
                  [this](const TDriverAnswer &answer) {
                      if (answer.Type == TDriverAnswer::Failed) {
                          GoOffline(CollectProblem(answer));
                          return;
                      }
                      // Locked: another client holds the site; the values wait until it ends.
                      if (answer.Type == TDriverAnswer::Done)
                          TakeValues(answer.Items);
                      // Collections start every interval (not an interval after the last one
                      // ended), so a value waits in the driver at most one interval.
                      const qint64 next = FCollectStartMs + FConfig.CollectIntervalMs - NowMs();
                      Schedule(FWrites.isEmpty() ? int(qBound<qint64>(0, next, qint64(FConfig.CollectIntervalMs))) : 0);
                  },
                  [this](const TSessionError &error) { Failed(error); });
}

void TSiteMonitor::TakeValues(const QStringList &items)
{
    const qint64 now = NowMs();
    QList<qsizetype> changed;
    QByteArray csv;
    const int before = FWithValues;
    QStringView address;
    QStringView value;
    // Read in place: a collection of every point, a few times a second, is the console's
    // main work.
    for (const QString &item : items) {
        if (!PolledValueOf(item, address, value))
            continue;
        // POINT<i> is the point's place in the list the console sent; the address decides.
        bool numbered = false;
        qsizetype index = QStringView(item).mid(5, item.indexOf(u'=') - 5).toLongLong(&numbered);
        if (!numbered || index < 0 || index >= FPoints.size() || FPoints.at(index).Address != address)
            index = FByAddress.value(address.toString(), -1);
        if (index < 0)
            continue;
        TWebPoint &point = FPoints[index];
        if (point.HasValue && point.Value == value)
            continue;
        if (!point.HasValue)
            ++FWithValues;
        point.HasValue = true;
        point.Value = value.toString();
        point.ChangedMs = now;
        double number = 0;
        if (TrendNumber(point.Value, number)
            && (point.Trend.Size() == 0 || now - point.Trend.LastMs() >= FConfig.TrendMinSpacingMs)) {
            point.Trend.Add(now, number, FConfig.TrendSamples);
            if (FCsv)
                csv += TTrendCsv::Line(now, point.Address, number);
        }
        changed.append(index);
    }
    if (FCsv)
        FCsv->Append(Description(), now, csv);
    if (FWithValues > before)
        FLastCollectMs = now;
    bool siteChanged = false;
    if (FFirstCycleMs < 0 && (FWithValues == FPoints.size() || now - FLastCollectMs > kFirstCycleQuietMs)) {
        FFirstCycleMs = (FWithValues == FPoints.size() ? now : FLastCollectMs) - FListSentMs;
        const int failed = FailedPoints();
        Note(QStringLiteral("first poll cycle: %1 s, %2 points without a value")
                 .arg(FFirstCycleMs / 1000.0, 0, 'f', 1).arg(failed));
        siteChanged = true;
    }
    if (!changed.isEmpty())
        Q_EMIT ValuesChanged(changed);
    if (siteChanged || FWithValues > before)
        Q_EMIT SiteChanged();
}

void TSiteMonitor::ReadStatus()
{
    FNextStatusMs = NowMs() + FConfig.StatusIntervalMs;
    FSession->Run({QStringLiteral("COMMAND=SITESTATUS")}, FConfig.CommandTimeoutMs,
                  [this](const TDriverAnswer &answer) {
                      if (answer.Type == TDriverAnswer::Done)
                          FStatusLines = answer.Items;
                      else if (answer.Type == TDriverAnswer::Failed)
                          Note(QStringLiteral("SITESTATUS failed: %1").arg(answer.Error));
                      FSession->Run({QStringLiteral("COMMAND=SITETIME")}, FConfig.CommandTimeoutMs,
                                    [this](const TDriverAnswer &time) {
                                        if (time.Type == TDriverAnswer::Done) {
                                            for (const QString &item : time.Items) {
                                                if (item.startsWith(QLatin1String("SITETIME=")))
                                                    FSiteTime = item.mid(9);
                                            }
                                            FSiteTimeReadMs = NowMs();
                                        }
                                        ReadPollFigures();
                                    },
                                    [this](const TSessionError &error) { Failed(error); });
                  },
                  [this](const TSessionError &error) { Failed(error); });
}

void TSiteMonitor::ReadPollFigures()
{
    // An earlier driver fails the command: its figures stay unknown.
    FSession->Run(PollStatusRequest(), FConfig.CommandTimeoutMs,
                  [this](const TDriverAnswer &answer) {
                      FPoll = ::ReadPollFigures(answer);
                      Q_EMIT SiteChanged();
                      Schedule(0);
                  },
                  [this](const TSessionError &error) { Failed(error); });
}

void TSiteMonitor::CheckDisabled()
{
    FNextDisabledMs = NowMs() + kDisabledCheckMs;
    FNextDisabledCheck %= FWithObject.size();
    const qsizetype index = FWithObject.at(FNextDisabledCheck++);
    const QString address = FPoints.at(index).Address;
    FSession->Run({QStringLiteral("COMMAND=POINTGETDISABLED"),
                   QStringLiteral("POINT=") + RequestEntry(kClientName, address)},
                  FConfig.CommandTimeoutMs,
                  [this, address](const TDriverAnswer &answer) {
                      const qsizetype at = FByAddress.value(address, -1);
                      if (at >= 0 && answer.Type == TDriverAnswer::Done) {
                          const bool disabled = answer.Items.contains(QStringLiteral("DISABLED=TRUE"));
                          if (disabled != FPoints.at(at).Disabled) {
                              FPoints[at].Disabled = disabled;
                              if (disabled)
                                  Note(QStringLiteral("point disabled"), address);
                              Q_EMIT ValuesChanged({at});
                              Q_EMIT SiteChanged();
                          }
                      }
                      Schedule(0);
                  },
                  [this](const TSessionError &error) { Failed(error); });
}

bool TSiteMonitor::Rediscover()
{
    if (FState != Collecting)
        return false;
    FDiscoveryWanted = true;
    Q_EMIT SiteChanged();
    if (!FSession->Busy())
        Schedule(0);
    return true;
}

bool TSiteMonitor::Write(qsizetype index, const QString &value, WriteDone done, QString &refusal)
{
    if (FState != Collecting) {
        refusal = QStringLiteral("The site is offline (%1): nothing was written.")
                      .arg(FProblem.isEmpty() ? StateName(FState) : FProblem);
        return false;
    }
    if (FWrites.size() >= MaxQueuedWrites) {
        refusal = QStringLiteral("Too many writes are waiting for this site: nothing was written.");
        return false;
    }
    FWrites.append(TWrite{index, value, std::move(done)});
    if (!FSession->Busy())
        Schedule(0);
    return true;
}

void TSiteMonitor::RunWrite(TWrite write)
{
    const QString address = FPoints.at(write.Index).Address;
    FSession->Run(PointModifyRequest(kClientName, address, write.Value), FConfig.CommandTimeoutMs,
                  [this, write, address](const TDriverAnswer &answer) {
                      const TWriteOutcome outcome = WriteOutcome(answer);
                      if (outcome.Outcome != QLatin1String("done"))
                          Note(QStringLiteral("write of %1 %2: %3").arg(write.Value, outcome.Outcome, outcome.Message),
                               address);
                      write.Done(outcome.Outcome, outcome.Message);
                      Schedule(0);   // collect at once, so that the written value shows soon
                  },
                  [this, write](const TSessionError &error) {
                      write.Done(QStringLiteral("failed"), error.Message);
                      Failed(error);
                  });
}

void TSiteMonitor::FailWrites(const QString &why)
{
    const QList<TWrite> writes = std::exchange(FWrites, {});
    for (const TWrite &write : writes)
        write.Done(QStringLiteral("failed"), why);
}

void TSiteMonitor::Failed(const TSessionError &error)
{
    GoOffline(error.Message);
}

void TSiteMonitor::GoOffline(const QString &problem)
{
    if (FState == Stopping)
        return;
    FProblem = problem;
    qCWarning(lcWebSite, "site \"%s\" offline: %s; trying again in %.1f s", qPrintable(Description()),
              qPrintable(problem), FRetryMs / 1000.0);
    Note(QStringLiteral("offline: %1").arg(problem));
    FailWrites(QStringLiteral("The site went offline (%1): nothing was written.").arg(problem));
    FDiscoveryProgress.clear();
    // Give the object back when the driver is still there; a new one comes with Open.
    GiveBackSession(std::exchange(FSession, nullptr));
    FState = Waiting;
    Schedule(FRetryMs);
    FRetryMs = qMin(FRetryMs * 2, FConfig.RetryMaxMs);
    Q_EMIT SiteChanged();
}

void TSiteMonitor::Stop(std::function<void()> stopped)
{
    FTimer.stop();
    FState = Stopping;
    FailWrites(QStringLiteral("The console is stopping: nothing was written."));
    if (!FSession) {
        stopped();
        return;
    }
    FSession->Close(std::move(stopped));
}
