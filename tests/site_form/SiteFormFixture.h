#pragma once
// Shared pieces of the site form tests: a stand-in client, forms set up for a site, and
// driving the form's tick.

#include "site/TypeSite.h"
#include "site/LonWorksForm.h"

#include <QStringList>

#include <memory>

class TTestClient : public TSiteClient
{
};

// A form for the site Description, on the named interface or offline.
inline std::unique_ptr<TLonWorksForm> MakeForm(const QString &description, bool offline,
                                               const QString &device = QStringLiteral("LON1"),
                                               const QString &dom0Id = QString())
{
    TSite site;
    site.Description = description;
    site.OfflineMode = offline;
    site.LonDeviceName = device;
    site.Dom0ID = dom0Id;
    auto form = std::make_unique<TLonWorksForm>();
    form->AssignSite(site);
    return form;
}

// Attaches and connects a client the way a driver object's Connect does.
inline bool Attach(TLonWorksForm &form, TSiteClient &client)
{
    form.AddClient(&client, form.FSite->Description);
    return form.ConnectClient(&client);
}

inline void Tick(TLonWorksForm &form, int count = 1)
{
    for (int i = 0; i < count; ++i)
        form.ProcessTick();
}

// Starts a command and runs it on the next tick.
inline bool RunCommand(TLonWorksForm &form, TSiteClient &client, int job, const QStringList &request)
{
    if (!form.StartCommand(&client, job, request))
        return false;
    Tick(form);
    return true;
}
