#include "automation/QelLonWorksCom.h"

#include "site/DriverLimits.h"
#include "automation/MainForm.h"
#include "support/ParamList.h"
#include "site/JobCodes.h"
#include "site/LonWorksForm.h"

#include <QCheckBox>
#include <QString>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

int gInstanceCount = 0;

const QString kCommandStatusFalse = QStringLiteral("COMMANDSTATUS=FALSE");
const QString kWaiting = QStringLiteral("COMMANDSTATUS=Waiting for driver...");

// Truncates toward zero and keeps the low 8 bits, as the domain subnets are stored.
quint8 TruncatedLowByte(double value)
{
    if (!std::isfinite(value) || std::fabs(value) >= 9.0e18)
        throw std::range_error("subnet out of range");
    return static_cast<quint8>(static_cast<qint64>(std::trunc(value)) & 0xFF);
}

// The site form of a driver object; a call while none is attached fails.
TLonWorksForm &AttachedForm(const QPointer<TLonWorksForm> &form)
{
    if (form.isNull())
        throw std::logic_error("no site form attached");
    return *form;
}

// A site text of Connect: the site's name, interface name, domain IDs and device type
// are short; a longer one is refused before it reaches a window caption or the network.
QString SiteText(const QVariant &request, const QString &name)
{
    QString text;
    FindParam(request, name, text);
    if (text.size() > DriverLimits::kMaxSiteTextLength)
        throw TLimitExceeded("characters per site setting (DESCRIPTION, SP1, SP2, SP3, DEVICETYPE)",
                             DriverLimits::kMaxSiteTextLength);
    return text;
}

void SetLockedAnswer(QStringList &answer, const TLonWorksForm &form)
{
    answer[0] = QStringLiteral("COMMANDSTATUS=LOCKED");
    answer[1] = form.FLockComment.isEmpty() ? QStringLiteral("locked to one computer")
                                            : QStringLiteral("COMMANDERROR=") + form.FLockComment;
}

void SetFailedAnswer(QStringList &answer, const TLonWorksForm &form)
{
    answer[0] = kCommandStatusFalse;
    if (!form.FErrorText.isEmpty())
        answer[1] = QStringLiteral("COMMANDERROR=") + form.FErrorText;
}

} // namespace

TQelLonWorksCom::TQelLonWorksCom(TMainForm *mainForm)
    : FMainForm(mainForm)
{
    ++gInstanceCount;
}

TQelLonWorksCom::~TQelLonWorksCom()
{
    try {
        Detach();
    } catch (...) {
        // A release never fails towards the client.
    }
    --gInstanceCount;
}

int TQelLonWorksCom::InstanceCount()
{
    return gInstanceCount;
}

QStringList TQelLonWorksCom::FailureAnswer()
{
    return {kCommandStatusFalse, QString(), QString()};
}

void TQelLonWorksCom::Detach()
{
    TLonWorksForm *form = FSiteForm.data();
    if (!form)
        return;
    if (FSite.IsRemoteClient)
        form->FRemoteClientCount -= 1;
    FSiteForm.clear();
    form->RemoveClient(this);
}

bool TQelLonWorksCom::Setup(const QVariant &request)
{
    try {
        QString mode;
        if (FindParam(request, QStringLiteral("DEBUGMODE"), mode)) {
            TLonWorksForm &form = AttachedForm(FSiteForm);
            if (form.IsBlocked())
                return true;
            if (FMainForm)
                FMainForm->ApplyDebugMode(mode.toUpper());
            return true;
        }
        double version = 0.0;
        if (ParamAsFloat(request, QStringLiteral("VERSIONCHECK"), version)) {
            if (std::fabs(version - 1.8) < 0.009) {
                FVersionChecked = true;
                return true;
            }
            return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

void TQelLonWorksCom::FillSite(const QVariant &request)
{
    QString text;
    bool flag = false;
    qint32 number = 0;
    double real = 0.0;

    // The texts are checked before any field changes: a refused Connect leaves the
    // object's settings as they were.
    const QString description = SiteText(request, QStringLiteral("DESCRIPTION"));
    const QString deviceName = SiteText(request, QStringLiteral("SP1"));
    const QString dom0 = SiteText(request, QStringLiteral("SP2"));
    const QString dom1 = SiteText(request, QStringLiteral("SP3"));
    const QString deviceType = SiteText(request, QStringLiteral("DEVICETYPE"));

    FSite.Description = description;
    ParamAsBoolean(request, QStringLiteral("OFFLINE"), flag);
    FSite.OfflineMode = flag;
    FSite.LonDeviceName = deviceName.isEmpty() ? QStringLiteral("LON1") : deviceName;
    ParamAsBoolean(request, QStringLiteral("BP1"), flag);
    FSite.TempsInF = flag;
    FSite.Dom0ID = dom0;
    FSite.Dom1ID = dom1;
    ParamAsInteger(request, QStringLiteral("IP1"), number);
    FSite.Dom0Node = static_cast<quint8>(number & 0xFF);
    ParamAsInteger(request, QStringLiteral("IP2"), number);
    FSite.Dom1Node = static_cast<quint8>(number & 0xFF);
    ParamAsFloat(request, QStringLiteral("FP1"), real);
    FSite.Dom0Subnet = TruncatedLowByte(real);
    ParamAsFloat(request, QStringLiteral("FP2"), real);
    FSite.Dom1Subnet = TruncatedLowByte(real);
    FSite.DeviceType = deviceType;
    ParamAsInteger(request, QStringLiteral("PANELTYPE"), number);
    FSite.PanelTypeIndex = number;
    if (ParamAsInteger(request, QStringLiteral("SERVERINDEX"), number))
        FSite.ServerIndex = number;
    else
        FSite.ServerIndex = FMainForm ? FMainForm->FirstFreeServerSlot() : 0;
    // Only LOCALCLIENT=TRUE keeps a client local; nothing turns a remote one local again.
    if (!ParamAsBoolean(request, QStringLiteral("LOCALCLIENT"), flag) || !flag)
        FSite.IsRemoteClient = true;
}

bool TQelLonWorksCom::Connect(const QVariant &request)
{
    try {
        if (!FVersionChecked || !FMainForm)
            return false;
        FillSite(request);
        TLonWorksForm *form = FMainForm->FindOrCreateSiteForm(FSite);
        // An object that moves to another site leaves its first one, so no form keeps a
        // pointer to an object it will never hear from again.
        if (FSiteForm && FSiteForm.data() != form)
            Detach();
        FSiteForm = form;
        if (!form)
            return false;
        form->AddClient(this, FSite.Description);
        if (FSiteForm.isNull())
            return false;
        return form->ConnectClient(this);
    } catch (const TLimitExceeded &) {
        throw;   // answered at the bus as a refusal naming the limit
    } catch (...) {
        return false;
    }
}

bool TQelLonWorksCom::Disconnect(const QVariant &)
{
    try {
        if (FSiteForm.isNull())
            return true;
        return FSiteForm->DisconnectClient(this);
    } catch (...) {
        return false;
    }
}

QVariant TQelLonWorksCom::CollectResult(const TLonWorksForm &form)
{
    const QVariant &data = form.FResultData;
    if (data.userType() == QMetaType::QByteArray || data.userType() == QMetaType::UChar
        || data.userType() == QMetaType::SChar || data.userType() == QMetaType::Char)
        return data;

    QVariantList items;
    bool isArray = false;
    if (data.userType() == QMetaType::QStringList) {
        isArray = true;
        for (const QString &item : data.toStringList())
            items.append(item);
    } else if (data.userType() == QMetaType::QVariantList) {
        isArray = true;
        items = data.toList();
    }

    QVariantList answer;
    answer.append(QStringLiteral("COMMANDSTATUS=TRUE"));
    answer.append(QStringLiteral("COMMAND=COMMANDSTATUS"));
    answer.append(form.FErrorText.isEmpty() ? QString()
                                            : QStringLiteral("COMMANDERROR=") + form.FErrorText);
    if (isArray)
        answer.append(items);
    else
        answer.append(QString());   // element 3 of a result that is no array stays empty
    return answer;
}

QVariant TQelLonWorksCom::BuildGetValueAnswer(const QVariant &request)
{
    TLonWorksForm &form = AttachedForm(FSiteForm);
    QStringList answer{kCommandStatusFalse, QString()};

    if (form.FLocked && form.FLockOwner != this) {
        SetLockedAnswer(answer, form);
        return answer;
    }
    if (form.FCommandClient && form.FCommandClient != this) {
        if (form.FLocked)
            SetLockedAnswer(answer, form);
        else
            answer[0] = kWaiting;
        return answer;
    }

    const int state = form.CommandStatusFor(this);
    QString command;
    FindParam(request, QStringLiteral("COMMAND"), command);

    if (form.FCommandClient) {
        if (command != QLatin1String("COMMANDSTATUS") || state == -1) {
            answer[0] = kWaiting;
        } else if (state == 0 || state == 1) {
            answer[0] = QStringLiteral("COMMANDSTATUS=") + form.FStatusText;
        } else if (state == 2) {
            QVariant result = CollectResult(form);
            form.ReleaseCommand(this);
            return result;
        } else {
            SetFailedAnswer(answer, form);
            form.ReleaseCommand(this);
        }
        return answer;
    }

    if (form.FLocked && form.FLockOwner != this) {
        SetLockedAnswer(answer, form);
    } else if (form.FBusy) {
        answer[0] = kWaiting;
    } else {
        const int job = JobCodeForKeyword(command);
        const bool started = IsClientJob(job) && form.StartCommand(this, job, request);
        if (FSiteForm.isNull())
            throw std::logic_error("site form closed during the call");
        if (started)
            answer[0] = QStringLiteral("COMMANDSTATUS=") + form.FStatusText;
        else
            SetFailedAnswer(answer, form);
    }
    return answer;
}

QVariant TQelLonWorksCom::GetValue(const QVariant &request)
{
    try {
        return BuildGetValueAnswer(request);
    } catch (...) {
        return FailureAnswer();
    }
}

QVariant TQelLonWorksCom::PutValue(const QVariant &request)
{
    QStringList answer = FailureAnswer();
    try {
        QString command;
        FindParam(request, QStringLiteral("COMMAND"), command);
        if (command == QLatin1String("SENDPOINTSLIST")) {
            TLonWorksForm &form = AttachedForm(FSiteForm);
            if (form.ReceivePointsList(this, request))
                answer[0] = QStringLiteral("COMMANDSTATUS=TRUE");
        }
    } catch (const TLimitExceeded &) {
        throw;   // answered at the bus as a refusal naming the limit
    } catch (...) {
        answer = FailureAnswer();
    }
    return answer;
}
