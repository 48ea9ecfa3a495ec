#include "automation/SiteRegistry.h"

#include "site/DriverLimits.h"
#include "site/SiteController.h"
#include "site/TypeSite.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QLocale>
#include <QTimer>

namespace {

bool SameDescription(const QString &a, const QString &b)
{
    const QLocale locale;
    return QString::localeAwareCompare(locale.toLower(a), locale.toLower(b)) == 0;
}

} // namespace

TSiteRegistry::TSiteRegistry(QObject *parent)
    : QObject(parent)
    , FProcessTimer(new QTimer(this))
{
    FServerSlots.fill(nullptr);
    FProcessTimer->setInterval(TickInterval);
    connect(FProcessTimer, &QTimer::timeout, this, &TSiteRegistry::ProcessTimerTimer);
    FProcessTimer->start();
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(thread())) {
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TSiteRegistry::PublishStatuses);
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, &TSiteRegistry::PublishStatuses);
    }
}

TSiteRegistry::~TSiteRegistry()
{
    FProcessTimer->stop();
    for (const TSiteEntry &entry : std::as_const(FSites))
        if (entry.Object)
            disconnect(entry.Object, nullptr, this, nullptr);
    FSites.clear();
}

TSiteController *TSiteRegistry::NewSite()
{
    return new TSiteController(this);
}

TSiteController *TSiteRegistry::FindSite(const QString &description) const
{
    for (const TSiteEntry &entry : FSites)
        if (entry.Site && !entry.Site->IsReleasing() && SameDescription(entry.Description, description))
            return entry.Site.data();
    return nullptr;
}

TSiteController *TSiteRegistry::FindOrCreateSite(const TSite &site)
{
    QPointer<TSiteController> found = FindSite(site.Description);
    if (!found && site.PanelTypeIndex == 0) {
        if (SiteCount() >= DriverLimits::kMaxSitesPerProcess)
            throw TLimitExceeded("sites per process", DriverLimits::kMaxSitesPerProcess);
        found = NewSite();
        QObject *object = found.data();
        connect(object, &QObject::destroyed, this, &TSiteRegistry::ForgetSiteObject);
        FSites.append({site.Description, found, object});
        Q_EMIT SiteCreated(found.data());
        QCoreApplication::processEvents();
        if (found)
            found->AssignSite(site);
    }
    if (found && site.IsRemoteClient)
        found->AddRemoteClient();
    return found.data();
}

int TSiteRegistry::SiteCount() const
{
    int count = 0;
    for (const TSiteEntry &entry : FSites)
        count += entry.Site && !entry.Site->IsReleasing() ? 1 : 0;
    return count;
}

void TSiteRegistry::ForgetSiteObject(QObject *object)
{
    for (qsizetype i = 0; i < FSites.size(); ++i) {
        if (FSites.at(i).Object == object) {
            FSites.removeAt(i);
            return;
        }
    }
}

int TSiteRegistry::FirstFreeServerSlot() const
{
    for (int i = 0; i < ServerSlotCount; ++i)
        if (!FServerSlots[static_cast<size_t>(i)])
            return i;
    return -1;
}

void TSiteRegistry::ObjectReleased()
{
    --FObjectCount;
    // A client may make a new object before the queued check runs.
    if (FObjectCount == 0 && FEndsWithLastObject)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (FObjectCount == 0)
                    QCoreApplication::quit();
            },
            Qt::QueuedConnection);
}

void TSiteRegistry::PublishStatuses()
{
    for (const TSiteEntry &entry : std::as_const(FSites))
        if (entry.Site)
            entry.Site->PublishStatus();
}

void TSiteRegistry::ProcessTimerTimer()
{
    FProcessTimer->stop();
    // Restarted however the ticks end, also when one of them throws.
    struct TRestart
    {
        QTimer *Timer;
        ~TRestart() { Timer->start(); }
    } restart{FProcessTimer};

    QList<QPointer<TSiteController>> sites;
    sites.reserve(FSites.size());
    for (const TSiteEntry &entry : std::as_const(FSites))
        if (entry.Site)
            sites.append(entry.Site);
    for (const QPointer<TSiteController> &site : std::as_const(sites)) {
        if (!site)
            continue;
        try {
            site->ProcessTick();
        } catch (...) {
            // One site's failed tick must not stop the others.
        }
    }
}
