#include "InProcessSite.h"

#include "lonworks/LDV32.h"

#include <QCoreApplication>

#include <malloc.h>
#include <time.h>

void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "bench";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

qint64 HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

double ProcessCpuMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

bool TBenchSite::Open(const QString &description, const QString &network)
{
    EnsureApplication();
    if (!LDV32::Load())
        return false;
    TSite site;
    site.Description = description;
    site.LonDeviceName = network;
    Controller = std::make_unique<TSiteController>();
    Controller->AssignSite(site);
    Controller->AddClient(&Client, site.Description);
    Controller->ConnectClient(&Client);
    const bool online = Controller->CommandSlot().CommandState() == 2 && Controller->IsOnline();
    Controller->ReleaseCommand(&Client);
    return online;
}
