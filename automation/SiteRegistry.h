#pragma once
// TSiteRegistry: the sites this process serves and the driver objects that use them. It
// finds or creates the site of a Description (letter case aside), ticks every site every
// 100 ms, keeps the server slots, counts the driver objects alive and, when the process
// was started by the bus, ends it with the last one. The driver objects use it to reach
// their sites; the main window uses it to show them.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <array>

class QTimer;
class TSite;
class TSiteController;

class TSiteRegistry : public QObject
{
    Q_OBJECT

public:
    static constexpr int ServerSlotCount = 32;
    // Ticks of the sites, in milliseconds.
    static constexpr int TickInterval = 100;

    explicit TSiteRegistry(QObject *parent = nullptr);
    ~TSiteRegistry() override;

    // The site of the record's Description, or a new one when there is none and the
    // record's PanelTypeIndex is 0 (none otherwise). A remote client is counted on it.
    // Creating a site past DriverLimits::kMaxSitesPerProcess throws TLimitExceeded.
    TSiteController *FindOrCreateSite(const TSite &site);
    // The site listed under a Description (case-insensitive), or none.
    TSiteController *FindSite(const QString &description) const;
    // Sites served now (a site on its way out no longer counts).
    int SiteCount() const;
    int FirstFreeServerSlot() const;

    // ProcessTimer: ticks every site once per 100 ms; off while the ticks run.
    QTimer *ProcessTimer() const { return FProcessTimer; }

    // Publishes every site's command slot for the bus thread, which answers status polls
    // from it. Runs on every pass of this thread's event loop (nested ones too): those are
    // the moments a call handled here could see the slot.
    void PublishStatuses();

    // Driver objects alive in this process.
    void ObjectCreated() { ++FObjectCount; }
    void ObjectReleased();
    int ObjectCount() const { return FObjectCount; }
    // Started by the bus: the process ends once the last driver object is released.
    void SetEndsWithLastObject(bool ends) { FEndsWithLastObject = ends; }

    // DEBUGMODE of Setup, for whatever shows the process: "TRUE", "FALSE" or "TOGGLE".
    void RequestDebugMode(const QString &mode) { Q_EMIT DebugModeRequested(mode); }

Q_SIGNALS:
    // A site was made; its settings follow once pending events have been handled.
    void SiteCreated(TSiteController *site);
    void DebugModeRequested(const QString &mode);

protected:
    // A new site without settings, owned by the registry.
    virtual TSiteController *NewSite();

private:
    struct TSiteEntry
    {
        QString Description;
        QPointer<TSiteController> Site;
        QObject *Object = nullptr;   // the site as a QObject, to match its destroyed signal
    };

    void ProcessTimerTimer();
    void ForgetSiteObject(QObject *object);

    QList<TSiteEntry> FSites;
    std::array<QObject *, ServerSlotCount> FServerSlots{};
    QTimer *FProcessTimer;
    int FObjectCount = 0;
    bool FEndsWithLastObject = false;
};
