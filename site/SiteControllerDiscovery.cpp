// The GETDATA driver commands that read from the devices themselves: discovery of every
// device's points (GETPOINTSLIST) and reading a file from one device (GETFILE).
#include "site/SiteController.h"

#include "lonworks/LonInterface.h"
#include "lonworks/LonLib.h"
#include "lonworks/LonWait.h"
#include "site/DriverLimits.h"
#include "support/ParamList.h"
#include "xif/TemplateCatalogue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace {

constexpr int FileBufferSize = 65535;
constexpr int FileRetryWaitMs = 1000;

// Waits while the window messages (and client calls) go on being handled.
void PumpFor(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
}

} // namespace

bool TSiteController::DiscoverDevices(QStringList &entries)
{
    QStringList devices;
    QList<TDeviceRecord> records;
    TDiscoveryBudget budget;
    const xif::TemplateCatalogue templates = LoadTemplates();
    for (const int domain : {0, 1}) {
        ShowMessageText(QStringLiteral("Discovering Devices on Domain %1...").arg(domain));
        FindDevices(*FInterface, quint8(domain), devices);
    }
    for (const QString &device : std::as_const(devices)) {
        if (LonLib::WaitingStopped())
            break;   // the process is ending
        // A device that cannot be read costs only its own points.
        try {
            const QStringList key = device.split(QLatin1Char(':'));
            ShowMessageText(QStringLiteral("Reading Points from %1:%2:%3")
                                .arg(key.value(0).toInt()).arg(key.value(1).toInt()).arg(key.value(2).toInt()));
            records.append(ReadDevicePoints(templates, device, entries, budget));
        } catch (...) {
        }
        if (!budget.Limit.isEmpty()) {
            FSlot.SetErrorText(budget.Limit);
            return false;
        }
    }
    FDevices.Assign(records, entries);
    return true;
}

bool TSiteController::DiscoverPoints()
{
    bool success = false;
    try {
        QStringList entries;
        if (DiscoverDevices(entries)) {
            FSlot.SetResultData(entries);
            success = true;
        }
    } catch (...) {
    }
    ShowMessageText(QString());
    return success;
}

bool TSiteController::ReadDeviceFile()
{
    bool success = false;
    try {
        qint32 domain = 0, subnet = 0, node = 0, fileIndex = 0, requestVariable = 0;
        ParamAsInteger(FSlot.Request(), QStringLiteral("DOMAIN"), domain);
        ParamAsInteger(FSlot.Request(), QStringLiteral("SUBNET"), subnet);
        ParamAsInteger(FSlot.Request(), QStringLiteral("NODE"), node);
        ParamAsInteger(FSlot.Request(), QStringLiteral("FILEINDEX"), fileIndex);
        ParamAsInteger(FSlot.Request(), QStringLiteral("FILEREQVAR"), requestVariable);
        QByteArray buffer(FileBufferSize, '\0');
        const auto read = [&]() -> int {
            // Numbers that do not fit their fields on the wire address no device.
            if (domain < 0 || domain > 1 || subnet < 0 || subnet > 255 || node < 0 || node > 255
                || fileIndex < 0 || fileIndex > 0xFFFF || requestVariable < 0 || requestVariable > 0xFFFF)
                return 0;
            return ReadFile(*FInterface, quint8(domain), quint8(subnet), quint8(node), quint16(fileIndex),
                            quint16(requestVariable),
                            std::span<quint8>(reinterpret_cast<quint8 *>(buffer.data()), buffer.size()));
        };
        int count = read();
        if (count == 0) {
            PumpFor(FileRetryWaitMs);
            count = read();
        }
        FSlot.SetResultData(buffer.left(qBound(0, count, FileBufferSize)));
        success = true;
    } catch (...) {
    }
    ShowMessageText(QString());
    return success;
}
