#include "automation/QelLonWorksCom.h"

#include "automation/SiteRegistry.h"
#include "site/DriverLimits.h"
#include "site/JobCodes.h"
#include "support/ParamList.h"

#include <QString>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

const QString kCommandStatusFalse = QStringLiteral("COMMANDSTATUS=FALSE");
const QString kWaiting = QStringLiteral("COMMANDSTATUS=Waiting for driver...");

// Truncates toward zero and keeps the low 8 bits, as the domain subnets are stored.
quint8 TruncatedLowByte(double value)
{
    if (!std::isfinite(value) || std::fabs(value) >= 9.0e18)
        throw std::range_error("subnet out of range");
    return static_cast<quint8>(static_cast<qint64>(std::trunc(value)) & 0xFF);
}

// The site of a driver object; a call while none is attached fails.
TSiteController &AttachedSite(const QPointer<TSiteController> &site)
{
    if (site.isNull())
        throw std::logic_error("no site attached");
    return *site;
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

void SetLockedAnswer(QStringList &answer, const QString &lockComment)
{
    answer[0] = QStringLiteral("COMMANDSTATUS=LOCKED");
    answer[1] = lockComment.isEmpty() ? QStringLiteral("locked to one computer")
                                      : QStringLiteral("COMMANDERROR=") + lockComment;
}

void SetFailedAnswer(QStringList &answer, const QString &errorText)
{
    answer[0] = kCommandStatusFalse;
    if (!errorText.isEmpty())
        answer[1] = QStringLiteral("COMMANDERROR=") + errorText;
}

} // namespace

TQelLonWorksCom::TQelLonWorksCom(TSiteRegistry *registry)
    : FRegistry(registry)
{
    if (FRegistry)
        FRegistry->ObjectCreated();
}

TQelLonWorksCom::~TQelLonWorksCom()
{
    try {
        Detach();
    } catch (...) {
        // A release never fails towards the client.
    }
    if (FRegistry)
        FRegistry->ObjectReleased();
}

QStringList TQelLonWorksCom::FailureAnswer()
{
    return {kCommandStatusFalse, QString(), QString()};
}

void TQelLonWorksCom::Detach()
{
    TSiteController *site = FSiteForm.data();
    if (!site)
        return;
    if (FSite.IsRemoteClient)
        site->RemoveRemoteClient();
    FSiteForm.clear();
    site->RemoveClient(this);
}

bool TQelLonWorksCom::Setup(const QVariant &request)
{
    try {
        QString mode;
        if (FindParam(request, QStringLiteral("DEBUGMODE"), mode)) {
            const TSiteController &site = AttachedSite(FSiteForm);
            if (site.IsBlocked())
                return true;
            if (FRegistry)
                FRegistry->RequestDebugMode(mode.toUpper());
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
    const TPollSettings pollSettings = ReadPollSettings(request);

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
    FSite.PollSettings = pollSettings;
    ParamAsInteger(request, QStringLiteral("PANELTYPE"), number);
    FSite.PanelTypeIndex = number;
    if (ParamAsInteger(request, QStringLiteral("SERVERINDEX"), number))
        FSite.ServerIndex = number;
    else
        FSite.ServerIndex = FRegistry ? FRegistry->FirstFreeServerSlot() : 0;
    // Only LOCALCLIENT=TRUE keeps a client local; nothing turns a remote one local again.
    if (!ParamAsBoolean(request, QStringLiteral("LOCALCLIENT"), flag) || !flag)
        FSite.IsRemoteClient = true;
}

bool TQelLonWorksCom::Connect(const QVariant &request)
{
    try {
        if (!FVersionChecked || !FRegistry)
            return false;
        FillSite(request);
        TSiteController *site = FRegistry->FindOrCreateSite(FSite);
        // An object that moves to another site leaves its first one, so no site keeps a
        // pointer to an object it will never hear from again.
        if (FSiteForm && FSiteForm.data() != site)
            Detach();
        FSiteForm = site;
        if (!site)
            return false;
        site->AddClient(this, FSite.Description);
        if (FSiteForm.isNull())
            return false;
        return site->ConnectClient(this);
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

QVariant TQelLonWorksCom::CollectResult(const TCommandSlot &slot)
{
    const QVariant &data = slot.ResultData();
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
    answer.append(slot.ErrorText().isEmpty() ? QString()
                                             : QStringLiteral("COMMANDERROR=") + slot.ErrorText());
    if (isArray)
        answer.append(items);
    else
        answer.append(QString());   // element 3 of a result that is no array stays empty
    return answer;
}

std::optional<QStringList> TQelLonWorksCom::SlotAnswer(const TCommandSlotView &slot,
                                                       const TSiteClient *client,
                                                       const QString &command)
{
    QStringList answer{kCommandStatusFalse, QString()};
    if (slot.Locked && slot.LockOwner != client) {
        SetLockedAnswer(answer, slot.LockComment);
        return answer;
    }
    if (slot.CommandClient && slot.CommandClient != client) {
        if (slot.Locked)
            SetLockedAnswer(answer, slot.LockComment);
        else
            answer[0] = kWaiting;
        return answer;
    }
    if (slot.CommandClient) {
        const int state = slot.StatusFor(client);
        if (command != QLatin1String("COMMANDSTATUS") || state == -1)
            answer[0] = kWaiting;
        else if (state == 0 || state == 1)
            answer[0] = QStringLiteral("COMMANDSTATUS=") + slot.StatusText;
        else
            return std::nullopt;   // the outcome is handed over and the slot freed
        return answer;
    }
    if (slot.Busy) {
        answer[0] = kWaiting;
        return answer;
    }
    if (IsClientJob(JobCodeForKeyword(command)))
        return std::nullopt;   // the command starts
    SetFailedAnswer(answer, slot.ErrorText);
    return answer;
}

QVariant TQelLonWorksCom::BuildGetValueAnswer(const QVariant &request)
{
    TSiteController &site = AttachedSite(FSiteForm);
    const TCommandSlot &slot = site.CommandSlot();
    QString command;
    FindParam(request, QStringLiteral("COMMAND"), command);
    if (std::optional<QStringList> answer = SlotAnswer(slot.View(), this, command))
        return *answer;

    QStringList answer{kCommandStatusFalse, QString()};
    if (slot.CommandClient()) {
        // This client's command has ended: its outcome is collected and the slot freed.
        if (slot.CommandState() == 2) {
            QVariant result = CollectResult(slot);
            site.ReleaseCommand(this);
            return result;
        }
        SetFailedAnswer(answer, slot.ErrorText());
        site.ReleaseCommand(this);
        return answer;
    }
    const bool started = site.StartCommand(this, JobCodeForKeyword(command), request);
    if (FSiteForm.isNull())
        throw std::logic_error("site closed during the call");
    if (started)
        answer[0] = QStringLiteral("COMMANDSTATUS=") + slot.StatusText();
    else
        SetFailedAnswer(answer, slot.ErrorText());
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
            TSiteController &site = AttachedSite(FSiteForm);
            if (site.ReceivePointsList(this, request))
                answer[0] = QStringLiteral("COMMANDSTATUS=TRUE");
        }
    } catch (const TLimitExceeded &) {
        throw;   // answered at the bus as a refusal naming the limit
    } catch (...) {
        answer = FailureAnswer();
    }
    return answer;
}
