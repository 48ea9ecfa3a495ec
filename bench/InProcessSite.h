#pragma once
// Sites run in the benchmark's own process on the simulated network: the Qt application
// they need, a client that stands for a driver object, and heap and CPU readings to put
// figures on them.

#include "site/TypeSite.h"
#include "site/SiteController.h"

#include <QString>

#include <memory>

class TBenchSiteClient : public TSiteClient
{
};

// One connected site with its one client.
struct TBenchSite
{
    std::unique_ptr<TSiteController> Controller;
    TBenchSiteClient Client;

    // Opens the network description (a path) as site description; false when it failed.
    bool Open(const QString &description, const QString &network);
};

// Makes sure the Qt application exists.
void EnsureApplication();
// Bytes in use on the heap (glibc's mallinfo2).
qint64 HeapInUse();
// CPU time of the whole process so far, in microseconds.
double ProcessCpuMicroseconds();
