#include "InProcessSite.h"

#include "lonworks/LDV32.h"

#include <QApplication>

#include <malloc.h>
#include <time.h>

void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "bench";
    static char *argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication application(argc, argv);
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
    Form = std::make_unique<TLonWorksForm>();
    Form->AssignSite(site);
    Form->AddClient(&Client, site.Description);
    Form->ConnectClient(&Client);
    const bool online = Form->FCommandState == 2 && Form->IsOnline();
    Form->ReleaseCommand(&Client);
    return online;
}
