// GETDATA: the driver commands, the site lock, and the placeholders among them.
#include "site/LonWorksForm.h"

#include "support/ParamList.h"
#include "site/TypeSite.h"

#include <QHash>

bool TLonWorksForm::IsOnline() const
{
    return FConnected && !FSite->OfflineMode;
}

bool TLonWorksForm::LockSite(const QString &comment)
{
    if (FLocked)
        return false;
    FLockComment = comment;
    FLocked = true;
    FLockTimeout = LockTimeoutTicks;
    FLockOwner = FCommandClient;
    return true;
}

bool TLonWorksForm::LockClient()
{
    if (FLocked)
        return false;
    QString comment;
    FindParam(FRequest, QStringLiteral("LOCKCOMMENT"), comment);
    return LockSite(comment);
}

bool TLonWorksForm::UnlockClient()
{
    if (FCommandClient == this)
        return false;
    FLocked = false;
    FLockComment.clear();
    FLockTimeout = 0;
    FLockOwner = nullptr;
    return true;
}

bool TLonWorksForm::SendCommand()
{
    if (!IsOnline())
        return false;
    if (FLocked) {
        SetErrorText(QStringLiteral("Driver is in use by another client"));
        return false;
    }
    try {
        QString command;
        FindParam(FRequest, QStringLiteral("COMMANDSTRING"), command);
    } catch (const std::exception &error) {
        SetErrorText(QString::fromUtf8(error.what()));
    }
    return false;
}

void TLonWorksForm::RunDriverCommand()
{
    using TDriverCommand = bool (TLonWorksForm::*)();
    static const QHash<QString, TDriverCommand> commands{
        {QStringLiteral("BACKUPSTART"), &TLonWorksForm::BackupStart},
        {QStringLiteral("BACKUPUPDATE"), &TLonWorksForm::BackupUpdate},
        {QStringLiteral("BACKUPABORT"), &TLonWorksForm::BackupAbort},
        {QStringLiteral("LOCKCLIENT"), &TLonWorksForm::LockClient},
        {QStringLiteral("UNLOCKCLIENT"), &TLonWorksForm::UnlockClient},
        {QStringLiteral("RESTORESTART"), &TLonWorksForm::RestoreStart},
        {QStringLiteral("RESTORESTATUS"), &TLonWorksForm::RestoreStatus},
        {QStringLiteral("RESTOREUPDATE"), &TLonWorksForm::RestoreUpdate},
        {QStringLiteral("RESTOREABORT"), &TLonWorksForm::RestoreAbort},
        {QStringLiteral("SENDCOMMAND"), &TLonWorksForm::SendCommand},
        {QStringLiteral("GETPOINTSLIST"), &TLonWorksForm::DiscoverPoints},
        {QStringLiteral("GETFILE"), &TLonWorksForm::ReadDeviceFile},
    };

    FResultData = QStringList(4, QString());
    bool success = false;
    try {
        QString name;
        FindParam(FRequest, QStringLiteral("DRIVERCOMMAND"), name);
        const TDriverCommand command = commands.value(name.toUpper(), nullptr);
        success = command && (this->*command)();
    } catch (...) {
        success = false;
    }
    CompleteJob(success);
}
