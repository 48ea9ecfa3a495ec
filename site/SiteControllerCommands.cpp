// GETDATA: the driver commands with the site lock, and the jobs and driver commands that
// do no network work: backup and restore (not available), unsupported commands, alarms
// and trend data.
#include "site/SiteController.h"

#include "support/ParamList.h"

#include <QHash>

bool TSiteController::LockClient()
{
    if (FSlot.IsLocked())
        return false;
    QString comment;
    FindParam(FSlot.Request(), QStringLiteral("LOCKCOMMENT"), comment);
    return LockSite(comment);
}

bool TSiteController::SendCommand()
{
    if (!IsOnline())
        return false;
    if (FSlot.IsLocked()) {
        FSlot.SetErrorText(QStringLiteral("Driver is in use by another client"));
        return false;
    }
    try {
        QString command;
        FindParam(FSlot.Request(), QStringLiteral("COMMANDSTRING"), command);
    } catch (const std::exception &error) {
        FSlot.SetErrorText(QString::fromUtf8(error.what()));
    }
    return false;
}

void TSiteController::RunDriverCommand()
{
    using TDriverCommand = bool (TSiteController::*)();
    static const QHash<QString, TDriverCommand> commands{
        {QStringLiteral("BACKUPSTART"), &TSiteController::BackupStart},
        {QStringLiteral("BACKUPUPDATE"), &TSiteController::BackupUpdate},
        {QStringLiteral("BACKUPABORT"), &TSiteController::BackupAbort},
        {QStringLiteral("LOCKCLIENT"), &TSiteController::LockClient},
        {QStringLiteral("UNLOCKCLIENT"), &TSiteController::UnlockClient},
        {QStringLiteral("RESTORESTART"), &TSiteController::RestoreStart},
        {QStringLiteral("RESTORESTATUS"), &TSiteController::RestoreStatus},
        {QStringLiteral("RESTOREUPDATE"), &TSiteController::RestoreUpdate},
        {QStringLiteral("RESTOREABORT"), &TSiteController::RestoreAbort},
        {QStringLiteral("SENDCOMMAND"), &TSiteController::SendCommand},
        {QStringLiteral("GETPOINTSLIST"), &TSiteController::DiscoverPoints},
        {QStringLiteral("GETFILE"), &TSiteController::ReadDeviceFile},
        {QStringLiteral("POLLSTATUS"), &TSiteController::PollStatus},
        {QStringLiteral("GETDEVICESLIST"), &TSiteController::ListDevices},
        {QStringLiteral("GETDEVICEPOINTS"), &TSiteController::ListDevicePoints},
    };

    FSlot.SetResultData(QStringList(4, QString()));
    bool success = false;
    try {
        QString name;
        FindParam(FSlot.Request(), QStringLiteral("DRIVERCOMMAND"), name);
        const TDriverCommand command = commands.value(name.toUpper(), nullptr);
        success = command && (this->*command)();
    } catch (...) {
        success = false;
    }
    CompleteJob(success);
}

bool TSiteController::BackupStart() { return false; }
bool TSiteController::BackupUpdate() { return false; }
bool TSiteController::BackupAbort() { return false; }
bool TSiteController::RestoreStart() { return false; }
bool TSiteController::RestoreStatus() { return false; }
bool TSiteController::RestoreUpdate() { return false; }
bool TSiteController::RestoreAbort() { return false; }

void TSiteController::RunSendData()
{
    FSlot.SetErrorText(QStringLiteral("Not Supported"));
    CompleteJob(false);
}

void TSiteController::RunGetSchedule()
{
    FSlot.SetErrorText(QStringLiteral("Not Supported"));
    CompleteJob(false);
}

void TSiteController::RunSetSchedule()
{
    FSlot.SetErrorText(QStringLiteral("Not Supported"));
    CompleteJob(false);
}

void TSiteController::RunGetAlarms()
{
    QStringList entries;
    for (qsizetype i = 0; i < FAlarms.size(); ++i)
        entries.append(QStringLiteral("ALARM%1=%2").arg(i).arg(FAlarms.at(i)));
    FAlarms.remove(0, entries.size());
    FSlot.SetResultData(entries);
    CompleteJob(true);
}

void TSiteController::RunGetTrendData()
{
    // One empty entry fewer than the request has elements.
    const int type = FSlot.Request().typeId();
    if (type == QMetaType::QStringList || type == QMetaType::QVariantList) {
        const qsizetype count = FSlot.Request().toList().size();
        FSlot.SetResultData(QVariantList(qMax<qsizetype>(count - 1, 0), QString()));
    }
    CompleteJob(true);
}
