#include "web/WebConsole.h"

#include "web/HttpServer.h"
#include "web/LiveFeed.h"
#include "web/SiteMonitor.h"
#include "web/TrendCsv.h"
#include "web/WebApi.h"

#include <QDBusConnection>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSslCertificate>
#include <QSslKey>
#include <QWebSocket>

#include <memory>

Q_LOGGING_CATEGORY(lcWeb, "lonworks.web")

namespace {

// A site's changes go out at most this often (its values go out as they come).
constexpr int kSiteFlushMs = 250;

bool LoadTls(const TWebConfig &config, QSslConfiguration &tls, QString &problem)
{
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(config.CertificateFile, QSsl::Pem);
    QFile keyFile(config.KeyFile);
    if (chain.isEmpty()) {
        problem = QStringLiteral("%1 holds no PEM certificate").arg(config.CertificateFile);
        return false;
    }
    if (!keyFile.open(QIODevice::ReadOnly) || keyFile.size() > 1024 * 1024) {
        problem = QStringLiteral("cannot read the key %1").arg(config.KeyFile);
        return false;
    }
    const QByteArray pem = keyFile.readAll();
    QSslKey key(pem, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(pem, QSsl::Ec, QSsl::Pem);
    if (key.isNull()) {
        problem = QStringLiteral("%1 holds no unencrypted PEM RSA or EC key").arg(config.KeyFile);
        return false;
    }
    tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    return true;
}

} // namespace

TWebConsole::TWebConsole(const TWebConfig &config, const TUserStore &users, QObject *parent)
    : QObject(parent), FConfig(config), FUsers(users)
{
    const QDBusConnection bus = FConfig.SystemBus ? QDBusConnection::systemBus() : QDBusConnection::sessionBus();
    FFeed = new TLiveFeed(this);
    if (!FConfig.TrendCsvFolder.isEmpty())
        FCsv = std::make_unique<TTrendCsv>(FConfig.TrendCsvFolder);
    for (const TWebSiteConfig &site : FConfig.Sites) {
        auto *monitor = new TSiteMonitor(site, FConfig, bus, this);
        monitor->SetTrendCsv(FCsv.get());
        FSites.append(monitor);
        connect(monitor, &TSiteMonitor::ValuesChanged, this, [this, monitor](const QList<qsizetype> &indexes) {
            const QList<TWebPoint> &points = monitor->Points();
            for (const qsizetype index : indexes) {
                const TWebPoint &point = points.at(index);
                QJsonObject change{{QStringLiteral("address"), point.Address},
                                   {QStringLiteral("changed"), point.ChangedMs},
                                   {QStringLiteral("disabled"), point.Disabled}};
                if (point.HasValue)
                    change.insert(QStringLiteral("value"), point.Value);
                FFeed->QueueValue(monitor->Description(), change, monitor->ReadAfterMs());
            }
        });
        connect(monitor, &TSiteMonitor::SiteChanged, this, [this, monitor] { SiteChanged(monitor); });
        connect(monitor, &TSiteMonitor::PointsReplaced, this, [this, monitor] {
            FFeed->Broadcast(QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("points")},
                                                       {QStringLiteral("site"), monitor->Description()}})
                                 .toJson(QJsonDocument::Compact));
        });
    }
    FApi = new TWebApi(FConfig, FUsers, FSites, *FFeed, this);
    FServer = new THttpServer(THttpLimits(), this);
    FServer->SetHandler([this](const THttpRequest &request, const THttpReply &reply) { FApi->Handle(request, reply); });
    connect(FServer, &THttpServer::WebSocketOpened, FApi, &TWebApi::WebSocketOpened);
    FSiteFlush.setSingleShot(true);
    connect(&FSiteFlush, &QTimer::timeout, this, &TWebConsole::FlushSites);
}

TWebConsole::~TWebConsole() = default;

bool TWebConsole::Start(QString &problem)
{
    if (FConfig.Tls()) {
        QSslConfiguration tls;
        if (!LoadTls(FConfig, tls, problem))
            return false;
        FServer->SetTls(tls);
    }
    if (!FServer->Listen(FConfig.Address, FConfig.Port, problem)) {
        problem = QStringLiteral("cannot listen on %1 port %2: %3").arg(FConfig.Address.toString()).arg(FConfig.Port).arg(problem);
        return false;
    }
    qCInfo(lcWeb, "serving %s for %lld site%s%s", qPrintable(Url()), qlonglong(FSites.size()),
           FSites.size() == 1 ? "" : "s", FUsers.IsEmpty() ? " (no users file: read-only for everyone)" : "");
    for (TSiteMonitor *site : std::as_const(FSites))
        site->Start();
    return true;
}

QString TWebConsole::Url() const
{
    const QString host = FConfig.Address.protocol() == QAbstractSocket::IPv6Protocol
        ? u'[' + FConfig.Address.toString() + u']' : FConfig.Address.toString();
    return QStringLiteral("%1://%2:%3/").arg(FConfig.Tls() ? QStringLiteral("https") : QStringLiteral("http"), host)
        .arg(FServer->Port());
}

void TWebConsole::SiteChanged(TSiteMonitor *site)
{
    FChangedSites.insert(site);
    if (!FSiteFlush.isActive())
        FSiteFlush.start(kSiteFlushMs);
}

void TWebConsole::FlushSites()
{
    for (TSiteMonitor *site : std::as_const(FSites)) {
        if (!FChangedSites.contains(site))
            continue;
        FFeed->Broadcast(QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("site")},
                                                   {QStringLiteral("site"), FApi->SiteJson(*site)}})
                             .toJson(QJsonDocument::Compact));
    }
    FChangedSites.clear();
}

void TWebConsole::Stop(int exitCode)
{
    if (FStopping)
        return;
    FStopping = true;
    const auto remaining = std::make_shared<int>(int(FSites.size()));
    const auto finished = [this, remaining, exitCode] {
        if (--*remaining == 0)
            Q_EMIT Finished(exitCode);
    };
    for (TSiteMonitor *site : std::as_const(FSites))
        site->Stop(finished);
}
