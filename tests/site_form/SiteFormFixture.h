#pragma once
// Shared pieces of the site tests: a stand-in client, sites set up with their settings,
// and driving a site's tick.

#include "site/SiteController.h"
#include "site/SiteTestHook.h"
#include "site/TypeSite.h"

#include <QStringList>

#include <memory>

class TTestClient : public TSiteClient
{
};

// A site for the Description, on the named interface or offline.
inline std::unique_ptr<TSiteController> MakeSite(const QString &description, bool offline,
                                                 const QString &device = QStringLiteral("LON1"),
                                                 const QString &dom0Id = QString())
{
    TSite site;
    site.Description = description;
    site.OfflineMode = offline;
    site.LonDeviceName = device;
    site.Dom0ID = dom0Id;
    auto controller = std::make_unique<TSiteController>();
    controller->AssignSite(site);
    return controller;
}

// Attaches and connects a client the way a driver object's Connect does.
inline bool Attach(TSiteController &site, TSiteClient &client)
{
    site.AddClient(&client, site.Site().Description);
    return site.ConnectClient(&client);
}

inline void Tick(TSiteController &site, int count = 1)
{
    for (int i = 0; i < count; ++i)
        site.ProcessTick();
}

// Starts a command and runs it on the next tick.
inline bool RunCommand(TSiteController &site, TSiteClient &client, int job, const QStringList &request)
{
    if (!site.StartCommand(&client, job, request))
        return false;
    Tick(site);
    return true;
}
