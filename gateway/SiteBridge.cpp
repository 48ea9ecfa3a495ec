#include "gateway/SiteBridge.h"

#include "client/PointEntries.h"
#include "client/SiteCommands.h"
#include "gateway/PointPayloads.h"
#include "gateway/SitePublisher.h"
#include "gateway/TopicNames.h"

#include <QDateTime>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSite, "lonworks.gateway.site")

namespace {

// Collections between two looks at the driver's poll cycle (about a minute at the default rate).
constexpr int kPollFiguresEvery = 60;

// Writes waiting for their turn; more are refused, so that a flood of set messages cannot
// grow the queue without bound.
constexpr qsizetype kMaxQueuedWrites = 64;

const QString kWriterName = QStringLiteral("gateway");

} // namespace

TSiteBridge::TSiteBridge(const TSiteConfig &site, const TGatewayConfig &gateway,
                         TSitePublisher &publisher, QObject *parent)
    : QObject(parent), FSite(site), FGateway(gateway), FPublisher(publisher),
      FRetryMs(gateway.RetryMinMs)
{
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, &TSiteBridge::Tick);
}

TSiteBridge::~TSiteBridge() = default;

void TSiteBridge::Start()
{
    Open();
}

void TSiteBridge::Schedule(int ms)
{
    FTimer.start(ms);
}

void TSiteBridge::Open()
{
    if (FSession)
        FSession->deleteLater();
    FSession = new TSiteSession(FGateway.Bus, this);
    FSession->SetCallTimeout(FGateway.CommandTimeoutMs);
    FState = Opening;
    qCInfo(lcSite, "site \"%s\": connecting to %s", qPrintable(FSite.Settings.Description),
           qPrintable(FSite.Settings.Interface));
    FSession->Open(FSite.Settings, FGateway.CommandTimeoutMs, [this] { Opened(); },
                   [this](const TSessionError &error) { Failed(error); });
}

void TSiteBridge::Opened()
{
    if (!FPoints.isEmpty()) {
        // Known from an earlier session: the driver was restarted, the network is the same.
        SendList();
        return;
    }
    if (!FSite.Discover) {
        QList<TGatewayPoint> points;
        for (const TConfiguredPoint &configured : FSite.Points)
            points.append(PointFromConfig(configured, FSite.Settings.Fahrenheit));
        UsePoints(points);
        SendList();
        return;
    }
    FState = Discovering;
    qCInfo(lcSite, "site \"%s\": discovering its points", qPrintable(FSite.Settings.Description));
    FSession->Run(DiscoveryRequest(), FGateway.DiscoveryTimeoutMs,
                  [this](const TDriverAnswer &answer) {
                      if (answer.Type == TDriverAnswer::Done)
                          Discovered(answer.Items);
                      else
                          GoOffline(DiscoveryProblem(answer));
                  },
                  [this](const TSessionError &error) { Failed(error); });
}

void TSiteBridge::Discovered(const QStringList &entries)
{
    QList<TGatewayPoint> points;
    for (const QString &line : entries) {
        TPointEntry entry;
        if (!ParsePointEntry(line, entry) || entry.Address.isEmpty())
            continue;
        const auto matches = [&entry](const QList<QRegularExpression> &patterns) {
            for (const QRegularExpression &pattern : patterns) {
                if (pattern.match(entry.Name).hasMatch())
                    return true;
            }
            return false;
        };
        if ((!FSite.Include.isEmpty() && !matches(FSite.Include)) || matches(FSite.Exclude))
            continue;
        points.append(PointFromEntry(entry, FSite.Settings.Fahrenheit));
    }
    if (points.isEmpty()) {
        GoOffline(QStringLiteral("discovery found no point%1")
                      .arg(FSite.Include.isEmpty() && FSite.Exclude.isEmpty()
                               ? QString() : QStringLiteral(" that the name filters let through")));
        return;
    }
    UsePoints(points);
    SendList();
}

void TSiteBridge::UsePoints(QList<TGatewayPoint> points)
{
    QList<TNamedPoint> named;
    named.reserve(points.size());
    for (const TGatewayPoint &point : points)
        named.append(TNamedPoint{point.Name, point.Device, point.Address});
    const QStringList topics = UniqueTopicLevels(named);
    FByTopic.clear();
    FByAddress.clear();
    for (qsizetype i = 0; i < points.size(); ++i) {
        points[i].Topic = topics.at(i);
        FByTopic.insert(points.at(i).Topic, i);
        FByAddress.insert(points.at(i).Address, i);
    }
    FPoints = std::move(points);
    FWithValues = 0;
    qCInfo(lcSite, "site \"%s\": %lld points", qPrintable(FSite.Settings.Description),
           qlonglong(FPoints.size()));
    FPublisher.Points(FPoints);
}

void TSiteBridge::SendList()
{
    FState = Listing;
    QStringList addresses;
    QStringList names;
    addresses.reserve(FPoints.size());
    names.reserve(FPoints.size());
    for (const TGatewayPoint &point : FPoints) {
        addresses.append(point.Address);
        names.append(point.Topic);
    }
    FSession->Put(PointsListRequest(addresses, names),
                  [this](const TDriverAnswer &answer) {
                      if (answer.Type != TDriverAnswer::Done) {
                          GoOffline(QStringLiteral("the driver did not take the points list"));
                          return;
                      }
                      FState = Collecting;
                      FProblem.clear();
                      FRetryMs = FGateway.RetryMinMs;
                      qCInfo(lcSite, "site \"%s\": online", qPrintable(FSite.Settings.Description));
                      FPublisher.Status(true);
                      Q_EMIT StateChanged();
                      Schedule(0);
                  },
                  [this](const TSessionError &error) { Failed(error); });
}

void TSiteBridge::Tick()
{
    switch (FState) {
    case Waiting:
        Open();
        break;
    case Collecting:
        if (FSession && !FSession->Busy()) {
            if (!FWrites.isEmpty())
                RunWrite(FWrites.takeFirst());
            else if (FWantFigures)
                AskPollFigures();
            else
                Collect();
        }
        break;
    default:
        break;
    }
}

void TSiteBridge::Collect()
{
    FSession->Run(CollectRequest(), FGateway.CommandTimeoutMs,
                  [this](const TDriverAnswer &answer) {
                      if (answer.Type == TDriverAnswer::Failed) {
                          GoOffline(CollectProblem(answer));
                          return;
                      }
                      // Locked: another client holds the site; the values wait until it ends.
                      if (answer.Type == TDriverAnswer::Done) {
                          const QDateTime now = QDateTime::currentDateTimeUtc();
                          const QHash<QString, QString> values = PolledValues(answer.Items);
                          for (auto it = values.cbegin(); it != values.cend(); ++it) {
                              const qsizetype index = FByAddress.value(it.key(), -1);
                              if (index < 0)
                                  continue;
                              TGatewayPoint &point = FPoints[index];
                              if (point.HasValue && point.Value == it.value())
                                  continue;
                              if (!point.HasValue)
                                  ++FWithValues;
                              point.HasValue = true;
                              point.Value = it.value();
                              point.Changed = now;
                              FPublisher.Value(index, point);
                          }
                      }
                      // Now and then the driver's cycle, between two collections.
                      FWantFigures = FWantFigures || ++FCollections % kPollFiguresEvery == 1;
                      Q_EMIT Collected();
                      Schedule(FWrites.isEmpty() ? FGateway.CollectIntervalMs : 0);
                  },
                  [this](const TSessionError &error) { Failed(error); });
}

void TSiteBridge::AskPollFigures()
{
    FWantFigures = false;
    FSession->Run({QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=POLLSTATUS")},
                  FGateway.CommandTimeoutMs,
                  [this](const TDriverAnswer &answer) {
                      // A driver without the command fails it: nothing to show.
                      QString mode;
                      QString cycle;
                      for (const QString &item : answer.Items) {
                          if (item.startsWith(QLatin1String("POLLMODE=")))
                              mode = item.mid(9);
                          else if (item.startsWith(QLatin1String("POLLCYCLE=")))
                              cycle = item.mid(10);
                      }
                      const QString figures = QStringLiteral("%1, cycle %2 s").arg(mode, cycle);
                      if (answer.Type == TDriverAnswer::Done && cycle.toDouble() > 0 && figures != FLastFigures) {
                          FLastFigures = figures;
                          qCInfo(lcSite, "site \"%s\": the driver polls %s", qPrintable(FSite.Settings.Description),
                                 qPrintable(figures));
                      }
                      Schedule(0);
                  },
                  [this](const TSessionError &error) { Failed(error); });
}

void TSiteBridge::Write(const QString &pointTopic, const QByteArray &payload)
{
    const qsizetype index = FByTopic.value(pointTopic, -1);
    if (index < 0)
        return;   // no such point of this site: nothing to answer on
    const TGatewayPoint &point = FPoints.at(index);
    QString value;
    QString refusal;
    if (!WriteValueFor(point, payload, value, refusal)) {
        FPublisher.Result(point, QStringLiteral("refused"), QString::fromUtf8(payload.left(256)), refusal);
        return;
    }
    if (FState != Collecting) {
        FPublisher.Result(point, QStringLiteral("refused"), value,
                          QStringLiteral("The site is offline (%1): nothing was written.")
                              .arg(FProblem.isEmpty() ? QStringLiteral("not connected yet") : FProblem));
        return;
    }
    if (FWrites.size() >= kMaxQueuedWrites) {
        FPublisher.Result(point, QStringLiteral("refused"), value,
                          QStringLiteral("Too many writes are waiting for this site: nothing was written."));
        return;
    }
    FWrites.append(TWrite{index, value});
    if (!FSession->Busy())
        Schedule(0);
}

void TSiteBridge::RunWrite(const TWrite &write)
{
    const TGatewayPoint &point = FPoints.at(write.Index);
    FSession->Run(PointModifyRequest(kWriterName, point.Address, write.Value), FGateway.CommandTimeoutMs,
                  [this, write](const TDriverAnswer &answer) {
                      const TWriteOutcome outcome = WriteOutcome(answer);
                      FPublisher.Result(FPoints.at(write.Index), outcome.Outcome, write.Value, outcome.Message);
                      // Collect at once, so that the written value shows without a pause.
                      Schedule(0);
                  },
                  [this, write](const TSessionError &error) {
                      FPublisher.Result(FPoints.at(write.Index), QStringLiteral("failed"), write.Value,
                                        error.Message);
                      Failed(error);
                  });
}

void TSiteBridge::Failed(const TSessionError &error)
{
    GoOffline(error.Message);
}

void TSiteBridge::GoOffline(const QString &problem)
{
    if (FState == Stopping)
        return;
    const bool wasOnline = FState == Collecting;
    FProblem = problem;
    qCWarning(lcSite, "site \"%s\" offline: %s; trying again in %.1f s",
              qPrintable(FSite.Settings.Description), qPrintable(problem), FRetryMs / 1000.0);
    FPublisher.Status(false);
    for (const TWrite &write : std::as_const(FWrites))
        FPublisher.Result(FPoints.at(write.Index), QStringLiteral("failed"), write.Value,
                          QStringLiteral("The site went offline (%1): nothing was written.").arg(problem));
    FWrites.clear();
    // Give the object back when the driver is still there; a new one comes with Open.
    GiveBackSession(std::exchange(FSession, nullptr));
    FState = Waiting;
    Schedule(FRetryMs);
    FRetryMs = qMin(FRetryMs * 2, FGateway.RetryMaxMs);
    if (wasOnline)
        Q_EMIT StateChanged();
    else
        Q_EMIT Collected();
}

void TSiteBridge::Stop(std::function<void()> stopped)
{
    FTimer.stop();
    FState = Stopping;
    FPublisher.Status(false);
    if (!FSession) {
        stopped();
        return;
    }
    FSession->Close(std::move(stopped));
}
