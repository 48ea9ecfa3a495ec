// SITETIME and SITESTATUS: the site's clock and a description of the site, the driver
// library and the network interface, built from what the form already holds.
#include "site/LonWorksForm.h"

#include "site/TypeSite.h"
#include "lonworks/LonInterface.h"
#include "support/HostFormat.h"

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

void TLonWorksForm::RunSiteTime()
{
    const QDateTime moment = QDateTime::currentDateTime();
    FResultData = QStringList{QStringLiteral("SITETIME=") + HostDateTimeText(moment), QString()};
    SetCommandState(2);
    SetStatusText(QString());
    FSiteTimeOffset = moment.msecsTo(QDateTime::currentDateTime());
    SetPendingJob(jobNone);
}

QStringList TLonWorksForm::SiteStatusLines() const
{
    const QDateTime now = QDateTime::currentDateTime().addMSecs(-FSiteTimeOffset);
    const TniReadOnlyStructure &identity = FInterface->ReadOnly;
    const QLocale locale;
    return {
        QStringLiteral("Site: ") + FSite->Description,
        QString(),
        QStringLiteral("Date: ") + locale.toString(now.date(), QLocale::ShortFormat),
        QStringLiteral("Time: ") + ShortClockText(now.time()),
        QString(),
        QStringLiteral("Library Version: ") + FLibraryVersion,
        QString(),
        QStringLiteral("LON Device Name: ") + FInterfaceName,
        QStringLiteral("ID String: ") + HexList(identity.ProgramId),
        QStringLiteral("Neuron ID: ") + HexList(identity.NeuronId),
        QStringLiteral("Model #: ") + QString::number(identity.ModelNumber) + QLatin1Char('.')
            + QString::number(identity.MinorModel),
        QStringLiteral("Domain 0 ID: ") + DomainIdList(FInterface->Domain0),
        QStringLiteral("Domain 0 Subnet: ") + QString::number(FInterface->Domain0.Subnet),
        QStringLiteral("Domain 0 Node: ") + QString::number(FInterface->Domain0.Node),
        QStringLiteral("Domain 1 ID: ") + DomainIdList(FInterface->Domain1),
        QStringLiteral("Domain 1 Subnet: ") + QString::number(FInterface->Domain1.Subnet),
        QStringLiteral("Domain 1 Node: ") + QString::number(FInterface->Domain1.Node),
    };
}

void TLonWorksForm::RunSiteStatus()
{
    if (IsOnline()) {
        try {
            FResultData = SiteStatusLines();
        } catch (...) {
            FResultData = QStringList(17, QString());
        }
    } else
        FResultData = QStringList{FSite->Description, QStringLiteral("Offline")};
    CompleteJob(true);
}
