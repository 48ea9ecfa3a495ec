#pragma once
// TWebApi: what the console answers. The page and its files (built into the program, and
// Chart.js from Debian's package), the JSON API under /api/ for sites, devices, points,
// values, history, writes and discovery, logins, and the live feed's WebSocket. Checks the
// session cookie, the role and the CSRF token of every request that changes something.

#include "web/HttpServer.h"
#include "web/SessionStore.h"
#include "web/UserStore.h"
#include "web/WebConfig.h"

#include <QDeadlineTimer>
#include <QJsonObject>
#include <QList>
#include <QObject>

class TLiveFeed;
class TSiteMonitor;
struct TWebPoint;

class TWebApi : public QObject
{
    Q_OBJECT
public:
    // Logins tried in one window, over all clients: each costs a key derivation.
    static constexpr int MaxLoginsPerWindow = 10;
    static constexpr int LoginWindowMs = 10000;
    // Points in one answer of /api/points (more come with offset=).
    static constexpr qsizetype MaxPointsPerAnswer = 50000;

    TWebApi(const TWebConfig &config, const TUserStore &users, const QList<TSiteMonitor *> &sites,
            TLiveFeed &feed, QObject *parent = nullptr);

    void Handle(const THttpRequest &request, const THttpReply &reply);
    // The live feed's socket, accepted by Handle.
    void WebSocketOpened(QWebSocket *socket, const THttpRequest &request);

    static QJsonObject PointJson(const QString &site, const TWebPoint &point, bool failed);
    QJsonObject SiteJson(const TSiteMonitor &site) const;

    // Where Chart.js is served from.
    static QString ChartJsPath();

private:
    struct TCaller
    {
        QString User;
        TWebRole Role = TWebRole::None;
        QByteArray Csrf;
        QByteArray Token;
    };

    THttpResponse Route(const THttpRequest &request, const THttpReply &reply, bool &deferred);
    THttpResponse StaticFile(const QString &path) const;
    bool Identify(const THttpRequest &request, TCaller &caller);
    // Refuses a request that changes something without the role or the CSRF token.
    bool MayChange(const THttpRequest &request, const TCaller &caller, bool needAdmin, THttpResponse &refusal) const;
    THttpResponse Login(const THttpRequest &request);
    THttpResponse Logout(const TCaller &caller) ;
    THttpResponse SessionAnswer(const TCaller &caller) const;
    THttpResponse Sites() const;
    THttpResponse Devices(const TSiteMonitor &site) const;
    THttpResponse PointsList(const THttpRequest &request) const;
    THttpResponse History(const THttpRequest &request, const TSiteMonitor &site, const TWebPoint &point) const;
    THttpResponse Diagnostics() const;
    void Write(const THttpRequest &request, TSiteMonitor &site, qsizetype index, const THttpReply &reply);
    TSiteMonitor *FindSite(const QString &name) const;
    bool PointFailed(const TSiteMonitor &site, const TWebPoint &point) const;

    const TWebConfig &FConfig;
    const TUserStore &FUsers;
    QList<TSiteMonitor *> FSites;
    TLiveFeed &FFeed;
    TSessionStore FSessions;
    QList<qint64> FLoginTimes;
};
