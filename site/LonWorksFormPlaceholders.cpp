// Jobs and driver commands that do no network work: backup and restore (not available),
// unsupported commands, alarms and trend data.
#include "site/LonWorksForm.h"

bool TLonWorksForm::BackupStart() { return false; }
bool TLonWorksForm::BackupUpdate() { return false; }
bool TLonWorksForm::BackupAbort() { return false; }
bool TLonWorksForm::RestoreStart() { return false; }
bool TLonWorksForm::RestoreStatus() { return false; }
bool TLonWorksForm::RestoreUpdate() { return false; }
bool TLonWorksForm::RestoreAbort() { return false; }

void TLonWorksForm::RunSendData()
{
    SetErrorText(QStringLiteral("Not Supported"));
    CompleteJob(false);
}

void TLonWorksForm::RunGetSchedule()
{
    SetErrorText(QStringLiteral("Not Supported"));
    CompleteJob(false);
}

void TLonWorksForm::RunSetSchedule()
{
    SetErrorText(QStringLiteral("Not Supported"));
    CompleteJob(false);
}

void TLonWorksForm::RunGetAlarms()
{
    QStringList entries;
    for (qsizetype i = 0; i < FAlarms.size(); ++i)
        entries.append(QStringLiteral("ALARM%1=%2").arg(i).arg(FAlarms.at(i)));
    FAlarms.remove(0, entries.size());
    FResultData = entries;
    CompleteJob(true);
}

void TLonWorksForm::RunGetTrendData()
{
    // One empty entry fewer than the request has elements.
    const int type = FRequest.typeId();
    if (type == QMetaType::QStringList || type == QMetaType::QVariantList) {
        const qsizetype count = FRequest.toList().size();
        FResultData = QVariantList(qMax<qsizetype>(count - 1, 0), QString());
    }
    CompleteJob(true);
}
