// SITETIME and SITESTATUS: the site's clock and a description of the site, the driver
// library and the network interface, built from what the site already holds (and one
// read of the interface, which tells whether the library has lost it); and
// POINTVERIFY, which checks a point address for a client before the client stores it.
#include "site/SiteController.h"

#include "lonworks/LonInterface.h"
#include "site/SiteNetwork.h"
#include "snvt/PointVerify.h"
#include "support/HostFormat.h"
#include "support/ParamList.h"

#include <QDateTime>
#include <QLocale>

#include <span>

namespace {

// Each byte as two upper-case hexadecimal digits followed by a blank.
QString HexList(std::span<const quint8> bytes)
{
    QString text;
    for (const quint8 byte : bytes)
        text += QStringLiteral("%1 ").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    return text;
}

QString DomainIdList(const TniDomainTableEntry &domain)
{
    const std::size_t length = qMin<std::size_t>(domain.IdLength, domain.Id.size());
    return QStringLiteral("[") + HexList(std::span(domain.Id).first(length)) + QStringLiteral("]");
}

// hh:mm followed directly by am or pm.
QString ShortClockText(const QTime &time)
{
    const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    return QString::asprintf("%02d:%02d%s", hour12, time.minute(), time.hour() < 12 ? "am" : "pm");
}

} // namespace

void TSiteController::RunSiteTime()
{
    const QDateTime moment = QDateTime::currentDateTime();
    FSlot.SetResultData(QStringList{QStringLiteral("SITETIME=") + HostDateTimeText(moment), QString()});
    FSlot.SetCommandState(2);
    SetStatusText(QString());
    FSiteTimeOffset = moment.msecsTo(QDateTime::currentDateTime());
    FSlot.SetPendingJob(jobNone);
}

QStringList TSiteController::SiteStatusLines() const
{
    const QDateTime now = QDateTime::currentDateTime().addMSecs(-FSiteTimeOffset);
    const TniReadOnlyStructure &identity = FInterface->ReadOnly();
    const QLocale locale;
    return {
        QStringLiteral("Site: ") + FSite.Description,
        QString(),
        QStringLiteral("Date: ") + locale.toString(now.date(), QLocale::ShortFormat),
        QStringLiteral("Time: ") + ShortClockText(now.time()),
        QString(),
        QStringLiteral("Library Version: ") + FLibraryVersion,
        QString(),
        QStringLiteral("LON Device Name: ") + FInterfaceName
            + (FInterface->Lost() ? QStringLiteral(" - interface lost (Error #%1)").arg(FInterface->LostStatus())
                                  : QString()),
        QStringLiteral("ID String: ") + HexList(identity.ProgramId),
        QStringLiteral("Neuron ID: ") + HexList(identity.NeuronId),
        QStringLiteral("Model #: ") + QString::number(identity.ModelNumber) + QLatin1Char('.')
            + QString::number(identity.MinorModel),
        QStringLiteral("Domain 0 ID: ") + DomainIdList(FInterface->Domain0()),
        QStringLiteral("Domain 0 Subnet: ") + QString::number(FInterface->Domain0().Subnet),
        QStringLiteral("Domain 0 Node: ") + QString::number(FInterface->Domain0().Node),
        QStringLiteral("Domain 1 ID: ") + DomainIdList(FInterface->Domain1()),
        QStringLiteral("Domain 1 Subnet: ") + QString::number(FInterface->Domain1().Subnet),
        QStringLiteral("Domain 1 Node: ") + QString::number(FInterface->Domain1().Node),
    };
}

void TSiteController::RunSiteStatus()
{
    if (IsOnline()) {
        try {
            ProbeSiteInterface(*FInterface);
            FSlot.SetResultData(SiteStatusLines());
        } catch (...) {
            FSlot.SetResultData(QStringList(17, QString()));
        }
    } else
        FSlot.SetResultData(QStringList{FSite.Description, QStringLiteral("Offline")});
    CompleteJob(true);
}

void TSiteController::RunPointVerify()
{
    QString message = QStringLiteral("Invalid Point Address. See the help file for proper formatting.");
    QString name;
    QString address;
    bool valid = false;
    try {
        FindParam(FSlot.Request(), QStringLiteral("POINTNAME"), name);
        FindParam(FSlot.Request(), QStringLiteral("POINTADDRESS"), address);
        message = VerifyPointAddress(address);
        valid = message.isEmpty();
    } catch (...) {
        valid = false;
    }
    if (valid) {
        FSlot.SetErrorText(QString());
        FSlot.SetResultData(QStringList{QStringLiteral("POINTNAME=") + name,
                                  QStringLiteral("POINTADDRESS=") + address, QString()});
    } else {
        FSlot.SetErrorText(message);
    }
    CompleteJob(valid);
}
