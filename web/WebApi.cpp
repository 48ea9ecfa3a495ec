#include "web/WebApi.h"

#include "web/LiveFeed.h"
#include "web/SiteMonitor.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QUrl>
#include <QWebSocket>

#include <map>

Q_LOGGING_CATEGORY(lcApi, "lonworks.web.api")

#ifndef LW_CHARTJS_FILE
#define LW_CHARTJS_FILE "/usr/share/javascript/chart.js/chart.min.js"
#endif

namespace {

const QByteArray kCookie = QByteArrayLiteral("lw_session");
const QByteArray kCsrfHeader = QByteArrayLiteral("x-csrf-token");
constexpr qsizetype kMaxEvents = 200;

QByteArray Compact(const QJsonValue &value)
{
    if (value.isArray())
        return QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

THttpResponse Ok(const QJsonValue &value, int status = 200)
{
    return THttpResponse::Json(status, Compact(value));
}

THttpResponse NotAllowed(const QByteArray &allow)
{
    THttpResponse response = THttpResponse::Error(405, QStringLiteral("Use %1 here.").arg(QString::fromLatin1(allow)));
    response.Headers.append({QByteArrayLiteral("Allow"), allow});
    return response;
}

// The path's segments, each percent-decoded on its own (a site's name may hold a "/").
QStringList Segments(const QByteArray &target)
{
    const qsizetype question = target.indexOf('?');
    const QByteArray path = target.left(question < 0 ? target.size() : question);
    QStringList segments;
    for (const QByteArray &raw : path.split('/')) {
        if (!raw.isEmpty())
            segments.append(QUrl::fromPercentEncoding(raw));
    }
    return segments;
}

QString IsoTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

bool ReadJsonBody(const THttpRequest &request, QJsonObject &object, THttpResponse &refusal)
{
    if (!request.Header("content-type").toLower().startsWith("application/json")) {
        refusal = THttpResponse::Error(415, QStringLiteral("Send the body as application/json."));
        return false;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(request.Body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        refusal = THttpResponse::Error(400, QStringLiteral("The body is not a JSON object."));
        return false;
    }
    object = document.object();
    return true;
}

} // namespace

// The page's files are built into the program (web/static/web.qrc) in a static library,
// whose resources are registered by hand.
static void RegisterPageFiles()
{
    Q_INIT_RESOURCE(web);
}

TWebApi::TWebApi(const TWebConfig &config, const TUserStore &users, const QList<TSiteMonitor *> &sites,
                 TLiveFeed &feed, QObject *parent)
    : QObject(parent), FConfig(config), FUsers(users), FSites(sites), FFeed(feed)
{
    RegisterPageFiles();
}

QString TWebApi::ChartJsPath()
{
    return QStringLiteral(LW_CHARTJS_FILE);
}

void TWebApi::Handle(const THttpRequest &request, const THttpReply &reply)
{
    bool deferred = false;
    THttpResponse response;
    try {
        response = Route(request, reply, deferred);
    } catch (const std::exception &error) {
        qCCritical(lcApi, "%s %s: %s", request.Method.constData(), request.Target.constData(), error.what());
        response = THttpResponse::Error(500, QStringLiteral("The console failed to answer."));
        deferred = false;
    }
    if (!deferred)
        reply.Send(response);
}

TSiteMonitor *TWebApi::FindSite(const QString &name) const
{
    for (TSiteMonitor *site : FSites) {
        if (site->Description().compare(name, Qt::CaseInsensitive) == 0)
            return site;
    }
    return nullptr;
}

bool TWebApi::Identify(const THttpRequest &request, TCaller &caller)
{
    if (FUsers.IsEmpty()) {
        caller.Role = TWebRole::Viewer;   // no users: everyone reads, nobody writes
        return true;
    }
    const QByteArray token = request.Cookie(kCookie);
    const TWebSession *session = token.isEmpty() ? nullptr : FSessions.Find(token);
    if (!session)
        return false;
    caller.User = session->User;
    caller.Role = session->Role;
    caller.Csrf = session->Csrf;
    caller.Token = token;
    return true;
}

bool TWebApi::MayChange(const THttpRequest &request, const TCaller &caller, bool needAdmin,
                        THttpResponse &refusal) const
{
    if (FUsers.IsEmpty()) {
        refusal = THttpResponse::Error(403, QStringLiteral("This console has no users file: it only shows. "
                                                           "Add users to make changes."));
        return false;
    }
    if (needAdmin && caller.Role != TWebRole::Admin) {
        refusal = THttpResponse::Error(403, QStringLiteral("User %1 may only read.").arg(caller.User));
        return false;
    }
    const QByteArray sent = request.Header(kCsrfHeader);
    if (sent.isEmpty() || sent != caller.Csrf) {
        refusal = THttpResponse::Error(403, QStringLiteral("The request lacks the session's CSRF token (X-CSRF-Token)."));
        return false;
    }
    return true;
}

THttpResponse TWebApi::Route(const THttpRequest &request, const THttpReply &reply, bool &deferred)
{
    const QStringList path = Segments(request.Target);
    const QByteArray &method = request.Method;
    const bool reading = method == "GET" || method == "HEAD";
    if (path.value(0) != QLatin1String("api")) {
        if (!reading)
            return NotAllowed("GET, HEAD");
        return StaticFile(path.join(u'/'));
    }

    if (path == QStringList{QStringLiteral("api"), QStringLiteral("login")}) {
        if (method != "POST")
            return NotAllowed("POST");
        return Login(request);
    }
    TCaller caller;
    if (!Identify(request, caller))
        return THttpResponse::Error(401, QStringLiteral("Log in first."));

    if (path.size() == 2 && path.at(1) == QLatin1String("live")) {
        if (!request.IsWebSocketUpgrade())
            return THttpResponse::Error(400, QStringLiteral("/api/live is a WebSocket."));
        // A page of another origin may not read the feed with this browser's cookie.
        const QByteArray origin = request.Header("origin");
        const QByteArray host = request.Header("host");
        if (!origin.isEmpty() && QUrl(QString::fromUtf8(origin)).authority() != QString::fromUtf8(host))
            return THttpResponse::Error(403, QStringLiteral("The live feed is for pages of this console only."));
        if (FFeed.Clients() >= TLiveFeed::MaxClients)
            return THttpResponse::Error(503, QStringLiteral("Too many live pages are open (at most %1).").arg(TLiveFeed::MaxClients));
        deferred = true;
        reply.AcceptWebSocket();
        return {};
    }
    if (path.size() == 2 && path.at(1) == QLatin1String("logout")) {
        if (method != "POST")
            return NotAllowed("POST");
        THttpResponse refusal;
        if (!MayChange(request, caller, false, refusal))
            return refusal;
        return Logout(caller);
    }
    if (path.size() == 2 && path.at(1) == QLatin1String("session")) {
        if (!reading)
            return NotAllowed("GET, HEAD");
        return SessionAnswer(caller);
    }
    if (path.size() == 2 && path.at(1) == QLatin1String("diagnostics")) {
        if (!reading)
            return NotAllowed("GET, HEAD");
        return Diagnostics();
    }
    if (path.size() == 2 && path.at(1) == QLatin1String("points")) {
        if (!reading)
            return NotAllowed("GET, HEAD");
        return PointsList(request);
    }
    if (path.value(1) != QLatin1String("sites") || path.size() > 6)
        return THttpResponse::Error(404, QStringLiteral("No such resource; see docs/web.md for the API."));
    if (path.size() == 2) {
        if (!reading)
            return NotAllowed("GET, HEAD");
        return Sites();
    }
    TSiteMonitor *site = FindSite(path.at(2));
    if (!site)
        return THttpResponse::Error(404, QStringLiteral("No site \"%1\" is configured.").arg(path.at(2)));
    if (path.size() == 3) {
        if (!reading)
            return NotAllowed("GET, HEAD");
        return Ok(SiteJson(*site));
    }
    const QString part = path.at(3);
    if (path.size() == 4 && part == QLatin1String("devices")) {
        if (!reading)
            return NotAllowed("GET, HEAD");
        return Devices(*site);
    }
    if (path.size() == 4 && part == QLatin1String("discovery")) {
        if (reading)
            return Ok(SiteJson(*site).value(QStringLiteral("discovery")));
        if (method != "POST")
            return NotAllowed("GET, HEAD, POST");
        THttpResponse refusal;
        if (!MayChange(request, caller, true, refusal))
            return refusal;
        if (!site->Rediscover())
            return THttpResponse::Error(503, QStringLiteral("Site %1 is not online (%2).")
                                                 .arg(site->Description(), TSiteMonitor::StateName(site->State())));
        qCInfo(lcApi, "user %s started a discovery of site \"%s\"", qPrintable(caller.User), qPrintable(site->Description()));
        return Ok(SiteJson(*site).value(QStringLiteral("discovery")), 202);
    }
    if (part != QLatin1String("points") || path.size() < 5)
        return THttpResponse::Error(404, QStringLiteral("No such resource; see docs/web.md for the API."));
    const qsizetype index = site->IndexOf(path.at(4));
    if (index < 0)
        return THttpResponse::Error(404, QStringLiteral("Site %1 has no point %2.").arg(site->Description(), path.at(4)));
    const TWebPoint &point = site->Points().at(index);
    if (path.size() == 5) {
        if (!reading)
            return NotAllowed("GET, HEAD");
        return Ok(PointJson(site->Description(), point, PointFailed(*site, point)));
    }
    if (path.at(5) == QLatin1String("history")) {
        if (!reading)
            return NotAllowed("GET, HEAD");
        return History(request, *site, point);
    }
    if (path.at(5) == QLatin1String("write")) {
        if (method != "POST")
            return NotAllowed("POST");
        THttpResponse refusal;
        if (!MayChange(request, caller, true, refusal))
            return refusal;
        qCInfo(lcApi, "user %s writes %s of site \"%s\"", qPrintable(caller.User), qPrintable(point.Address),
               qPrintable(site->Description()));
        deferred = true;
        Write(request, *site, index, reply);
        return {};
    }
    return THttpResponse::Error(404, QStringLiteral("No such resource; see docs/web.md for the API."));
}

THttpResponse TWebApi::StaticFile(const QString &path) const
{
    static const std::map<QString, QByteArray> types{
        {QStringLiteral("html"), QByteArrayLiteral("text/html; charset=utf-8")},
        {QStringLiteral("js"), QByteArrayLiteral("text/javascript; charset=utf-8")},
        {QStringLiteral("css"), QByteArrayLiteral("text/css; charset=utf-8")},
        {QStringLiteral("svg"), QByteArrayLiteral("image/svg+xml")}};
    // Only the page's own files, by a plain name: nothing else on the machine is reachable.
    static const QRegularExpression name(QStringLiteral("^[a-z0-9-]+\\.(html|js|css|svg)$"));
    QString file;
    if (path.isEmpty())
        file = QStringLiteral(":/web/index.html");
    else if (path == QLatin1String("vendor/chart.js"))
        file = ChartJsPath();
    else if (name.match(path).hasMatch())
        file = QStringLiteral(":/web/") + path;
    QFile source(file);
    if (file.isEmpty() || !source.open(QIODevice::ReadOnly))
        return THttpResponse::Error(404, QStringLiteral("No such file."));
    THttpResponse response;
    response.Body = source.readAll();
    response.ContentType = types.at(file.section(u'.', -1));
    response.Headers = {
        {QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache")},
        {QByteArrayLiteral("Content-Security-Policy"),
         QByteArrayLiteral("default-src 'self'; connect-src 'self'; img-src 'self' data:; frame-ancestors 'none'")},
        {QByteArrayLiteral("X-Frame-Options"), QByteArrayLiteral("DENY")},
        {QByteArrayLiteral("Referrer-Policy"), QByteArrayLiteral("no-referrer")}};
    return response;
}

THttpResponse TWebApi::Login(const THttpRequest &request)
{
    if (FUsers.IsEmpty())
        return THttpResponse::Error(404, QStringLiteral("This console has no users file: there is nothing to log in to."));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    while (!FLoginTimes.isEmpty() && now - FLoginTimes.first() > LoginWindowMs)
        FLoginTimes.removeFirst();
    if (FLoginTimes.size() >= MaxLoginsPerWindow) {
        THttpResponse response = THttpResponse::Error(429, QStringLiteral("Too many logins; try again in a few seconds."));
        response.Headers.append({QByteArrayLiteral("Retry-After"), QByteArray::number(LoginWindowMs / 1000)});
        return response;
    }
    QJsonObject body;
    THttpResponse refusal;
    if (!ReadJsonBody(request, body, refusal))
        return refusal;
    const QString user = body.value(QStringLiteral("user")).toString();
    const QString password = body.value(QStringLiteral("password")).toString();
    if (user.isEmpty() || password.isEmpty())
        return THttpResponse::Error(400, QStringLiteral("Give a user and a password."));
    FLoginTimes.append(now);
    const TWebRole role = FUsers.Check(user, password);
    if (role == TWebRole::None) {
        qCWarning(lcApi, "failed login as \"%s\" from %s", qPrintable(user.left(64)), qPrintable(request.Peer.toString()));
        return THttpResponse::Error(401, QStringLiteral("Wrong user or password."));
    }
    const QByteArray token = FSessions.Create(user, role);
    qCInfo(lcApi, "%s logged in (%s) from %s", qPrintable(user), qPrintable(RoleName(role)), qPrintable(request.Peer.toString()));
    TCaller caller{user, role, FSessions.Find(token)->Csrf, token};
    THttpResponse response = SessionAnswer(caller);
    response.Headers.append({QByteArrayLiteral("Set-Cookie"),
                             kCookie + '=' + token + "; Path=/; HttpOnly; SameSite=Strict"
                                 + (FConfig.Tls() ? QByteArrayLiteral("; Secure") : QByteArray())});
    return response;
}

THttpResponse TWebApi::Logout(const TCaller &caller)
{
    FSessions.Remove(caller.Token);
    THttpResponse response = Ok(QJsonObject{{QStringLiteral("user"), QString()}});
    response.Headers.append({QByteArrayLiteral("Set-Cookie"),
                             kCookie + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0"});
    return response;
}

THttpResponse TWebApi::SessionAnswer(const TCaller &caller) const
{
    return Ok(QJsonObject{{QStringLiteral("user"), caller.User},
                          {QStringLiteral("role"), RoleName(caller.Role)},
                          {QStringLiteral("csrf"), QString::fromLatin1(caller.Csrf)},
                          {QStringLiteral("logins"), !FUsers.IsEmpty()}});
}

bool TWebApi::PointFailed(const TSiteMonitor &site, const TWebPoint &point) const
{
    return site.FirstCycleMs() >= 0 && !point.HasValue && !point.Disabled;
}

QJsonObject TWebApi::PointJson(const QString &site, const TWebPoint &point, bool failed)
{
    QJsonObject object{{QStringLiteral("site"), site},
                       {QStringLiteral("address"), point.Address},
                       {QStringLiteral("name"), point.Name},
                       {QStringLiteral("device"), point.Device},
                       {QStringLiteral("units"), point.Units},
                       {QStringLiteral("kind"), point.Kind},
                       {QStringLiteral("writable"), point.Writable},
                       {QStringLiteral("failed"), failed},
                       {QStringLiteral("disabled"), point.Disabled}};
    if (point.HasRange) {
        object.insert(QStringLiteral("min"), point.Min);
        object.insert(QStringLiteral("max"), point.Max);
    }
    if (point.HasValue) {
        object.insert(QStringLiteral("value"), point.Value);
        object.insert(QStringLiteral("changed"), point.ChangedMs);
    }
    return object;
}

QJsonObject TWebApi::SiteJson(const TSiteMonitor &site) const
{
    const TPollFigures &poll = site.PollFigures();
    QJsonObject object{
        {QStringLiteral("name"), site.Description()},
        {QStringLiteral("interface"), site.Settings().Interface},
        {QStringLiteral("state"), TSiteMonitor::StateName(site.State())},
        {QStringLiteral("online"), site.State() == TSiteMonitor::Collecting},
        {QStringLiteral("problem"), site.Problem()},
        {QStringLiteral("status"), QJsonArray::fromStringList(site.StatusLines())},
        {QStringLiteral("siteTime"), site.SiteTime()},
        {QStringLiteral("siteTimeRead"), site.SiteTimeReadMs()},
        {QStringLiteral("firstCycleMs"), site.FirstCycleMs()},
        {QStringLiteral("pollingSince"), site.ListSentMs()},
        {QStringLiteral("points"), site.Points().size()},
        {QStringLiteral("withValues"), site.PointsWithValues()},
        {QStringLiteral("failed"), site.FailedPoints()},
        {QStringLiteral("disabled"), site.DisabledPoints()},
        {QStringLiteral("discovery"), QJsonObject{{QStringLiteral("running"), site.DiscoveryRunning()},
                                                  {QStringLiteral("progress"), site.DiscoveryProgress()},
                                                  {QStringLiteral("finished"), site.DiscoveredMs()}}}};
    if (poll.Known)
        object.insert(QStringLiteral("poll"), QJsonObject{{QStringLiteral("mode"), poll.Mode},
                                                          {QStringLiteral("fetchesPerSecond"), poll.FetchesPerSecond},
                                                          {QStringLiteral("cycleSeconds"), poll.CycleSeconds},
                                                          {QStringLiteral("inFlight"), poll.InFlight},
                                                          {QStringLiteral("stoppedPoints"), poll.StoppedPoints}});
    return object;
}

THttpResponse TWebApi::Sites() const
{
    QJsonArray sites;
    for (const TSiteMonitor *site : FSites)
        sites.append(SiteJson(*site));
    return Ok(sites);
}

THttpResponse TWebApi::Devices(const TSiteMonitor &site) const
{
    // device -> variable -> points, in the order discovery gave them.
    QJsonArray devices;
    QJsonObject device;
    QJsonArray variables;
    QJsonObject variable;
    QJsonArray points;
    const auto closeVariable = [&] {
        if (!points.isEmpty()) {
            variable.insert(QStringLiteral("points"), points);
            variables.append(variable);
        }
        points = QJsonArray();
    };
    const auto closeDevice = [&] {
        closeVariable();
        if (!variables.isEmpty()) {
            device.insert(QStringLiteral("variables"), variables);
            devices.append(device);
        }
        variables = QJsonArray();
    };
    QString lastDevice;
    QString lastVariable;
    for (const TWebPoint &point : site.Points()) {
        if (point.Device != lastDevice) {
            closeDevice();
            lastDevice = point.Device;
            lastVariable.clear();
            device = QJsonObject{{QStringLiteral("device"), point.Device}, {QStringLiteral("name"), point.Device}};
        }
        if (point.Variable != lastVariable) {
            closeVariable();
            lastVariable = point.Variable;
            variable = QJsonObject{{QStringLiteral("variable"), point.Variable},
                                   {QStringLiteral("name"), point.Name.section(u'.', 0, 0)}};
        }
        QJsonObject entry{{QStringLiteral("address"), point.Address}, {QStringLiteral("name"), point.Name},
                          {QStringLiteral("units"), point.Units}, {QStringLiteral("kind"), point.Kind},
                          {QStringLiteral("writable"), point.Writable}};
        if (point.HasRange) {
            entry.insert(QStringLiteral("min"), point.Min);
            entry.insert(QStringLiteral("max"), point.Max);
        }
        points.append(entry);
    }
    closeDevice();
    return Ok(QJsonObject{{QStringLiteral("site"), site.Description()},
                          {QStringLiteral("discovery"), SiteJson(site).value(QStringLiteral("discovery"))},
                          {QStringLiteral("devices"), devices}});
}

THttpResponse TWebApi::PointsList(const THttpRequest &request) const
{
    const QString siteName = request.Query.queryItemValue(QStringLiteral("site"), QUrl::FullyDecoded);
    const QString filter = request.Query.queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded);
    if (!siteName.isEmpty() && !FindSite(siteName))
        return THttpResponse::Error(404, QStringLiteral("No site \"%1\" is configured.").arg(siteName));
    bool offsetOk = true;
    const QString offsetText = request.Query.queryItemValue(QStringLiteral("offset"));
    const qsizetype offset = offsetText.isEmpty() ? 0 : offsetText.toLongLong(&offsetOk);
    if (!offsetOk || offset < 0)
        return THttpResponse::Error(400, QStringLiteral("offset is a whole number of points from 0."));
    // Written point by point: 20,000 points as one JSON tree would cost many times the text;
    // at most MaxPointsPerAnswer in one answer.
    QByteArray body = "{\"now\":" + QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + ",\"points\":[";
    qsizetype total = 0;
    qsizetype written = 0;
    for (const TSiteMonitor *site : FSites) {
        if (!siteName.isEmpty() && site != FindSite(siteName))
            continue;
        for (const TWebPoint &point : site->Points()) {
            if (!filter.isEmpty() && !point.Name.contains(filter, Qt::CaseInsensitive)
                && !point.Address.contains(filter) && !point.Device.contains(filter))
                continue;
            if (total++ < offset || written >= MaxPointsPerAnswer)
                continue;
            if (written++ > 0)
                body += ',';
            body += Compact(PointJson(site->Description(), point, PointFailed(*site, point)));
        }
    }
    body += "],\"total\":" + QByteArray::number(total) + ",\"offset\":" + QByteArray::number(offset) + '}';
    return THttpResponse::Json(200, body);
}

THttpResponse TWebApi::History(const THttpRequest &request, const TSiteMonitor &site, const TWebPoint &point) const
{
    bool fromOk = true;
    bool toOk = true;
    const QString fromText = request.Query.queryItemValue(QStringLiteral("from"));
    const QString toText = request.Query.queryItemValue(QStringLiteral("to"));
    const qint64 from = fromText.isEmpty() ? 0 : fromText.toLongLong(&fromOk);
    const qint64 to = toText.isEmpty() ? std::numeric_limits<qint64>::max() : toText.toLongLong(&toOk);
    if (!fromOk || !toOk || from > to)
        return THttpResponse::Error(400, QStringLiteral("from and to are milliseconds since 1970 (from <= to)."));
    const QList<TTrendSample> samples = point.Trend.Between(from, to);
    const QString format = request.Query.queryItemValue(QStringLiteral("format"));
    if (format == QLatin1String("csv")) {
        THttpResponse response;
        response.ContentType = QByteArrayLiteral("text/csv; charset=utf-8");
        response.Body = "time,value\r\n";
        for (const TTrendSample &sample : samples)
            response.Body += IsoTime(sample.Ms).toUtf8() + ',' + QByteArray::number(sample.Value, 'g', 8) + "\r\n";
        QString file = QString(site.Description() + u'_' + point.Name).replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
        response.Headers.append({QByteArrayLiteral("Content-Disposition"),
                                 "attachment; filename=\"" + file.toLatin1() + ".csv\""});
        return response;
    }
    if (!format.isEmpty() && format != QLatin1String("json"))
        return THttpResponse::Error(400, QStringLiteral("format is json or csv."));
    QJsonArray rows;
    for (const TTrendSample &sample : samples)
        rows.append(QJsonArray{sample.Ms, sample.Value});
    return Ok(QJsonObject{{QStringLiteral("site"), site.Description()},
                          {QStringLiteral("address"), point.Address},
                          {QStringLiteral("name"), point.Name},
                          {QStringLiteral("units"), point.Units},
                          {QStringLiteral("capacity"), FConfig.TrendSamples},
                          {QStringLiteral("samples"), rows}});
}

THttpResponse TWebApi::Diagnostics() const
{
    QJsonArray sites;
    QList<TWebEvent> events;
    for (const TSiteMonitor *site : FSites) {
        events += site->Events();
        struct TCounts { int Points = 0; int Failed = 0; int Disabled = 0; };
        QList<QString> order;
        QHash<QString, TCounts> devices;
        QJsonArray failed;
        QJsonArray disabled;
        for (const TWebPoint &point : site->Points()) {
            if (!devices.contains(point.Device))
                order.append(point.Device);
            TCounts &counts = devices[point.Device];
            ++counts.Points;
            if (PointFailed(*site, point)) {
                ++counts.Failed;
                failed.append(QJsonObject{{QStringLiteral("address"), point.Address}, {QStringLiteral("name"), point.Name}});
            }
            if (point.Disabled) {
                ++counts.Disabled;
                disabled.append(QJsonObject{{QStringLiteral("address"), point.Address}, {QStringLiteral("name"), point.Name}});
            }
        }
        QJsonArray deviceRows;
        for (const QString &device : order) {
            const TCounts counts = devices.value(device);
            deviceRows.append(QJsonObject{{QStringLiteral("device"), device}, {QStringLiteral("points"), counts.Points},
                                          {QStringLiteral("failed"), counts.Failed},
                                          {QStringLiteral("disabled"), counts.Disabled}});
        }
        sites.append(QJsonObject{{QStringLiteral("site"), site->Description()},
                                 {QStringLiteral("state"), TSiteMonitor::StateName(site->State())},
                                 {QStringLiteral("problem"), site->Problem()},
                                 {QStringLiteral("interface"), QJsonArray::fromStringList(site->StatusLines())},
                                 {QStringLiteral("devices"), deviceRows},
                                 {QStringLiteral("failedPoints"), failed},
                                 {QStringLiteral("disabledPoints"), disabled},
                                 {QStringLiteral("trendBytes"), site->TrendBytes()}});
    }
    std::sort(events.begin(), events.end(), [](const TWebEvent &a, const TWebEvent &b) { return a.Ms > b.Ms; });
    QJsonArray eventRows;
    for (qsizetype i = 0; i < qMin(events.size(), kMaxEvents); ++i)
        eventRows.append(QJsonObject{{QStringLiteral("time"), events.at(i).Ms}, {QStringLiteral("site"), events.at(i).Site},
                                     {QStringLiteral("point"), events.at(i).Point}, {QStringLiteral("text"), events.at(i).Text}});
    return Ok(QJsonObject{{QStringLiteral("sites"), sites}, {QStringLiteral("events"), eventRows},
                          {QStringLiteral("liveClients"), FFeed.Clients()}});
}

void TWebApi::Write(const THttpRequest &request, TSiteMonitor &site, qsizetype index, const THttpReply &reply)
{
    QJsonObject body;
    THttpResponse refusal;
    if (!ReadJsonBody(request, body, refusal)) {
        reply.Send(refusal);
        return;
    }
    const QJsonValue given = body.value(QStringLiteral("value"));
    const QString text = given.isDouble() ? QString::number(given.toDouble(), 'g', 15) : given.toString();
    const TWebPoint &point = site.Points().at(index);
    QString value;
    QString why;
    if (!point.Writable) {
        reply.Send(THttpResponse::Error(403, QStringLiteral("%1 is read-only.").arg(point.Name)));
        return;
    }
    if (!CheckWriteValue(point, text, value, why)) {
        reply.Send(THttpResponse::Error(422, why));
        return;
    }
    const QString siteName = site.Description();
    const QString address = point.Address;
    const auto done = [this, reply, siteName, address, value](const QString &outcome, const QString &message) {
        const QJsonObject result{{QStringLiteral("type"), QStringLiteral("write")},
                                 {QStringLiteral("site"), siteName},
                                 {QStringLiteral("address"), address},
                                 {QStringLiteral("value"), value},
                                 {QStringLiteral("outcome"), outcome},
                                 {QStringLiteral("error"), message}};
        FFeed.Broadcast(Compact(result));
        const int status = outcome == QLatin1String("done") ? 200 : outcome == QLatin1String("refused") ? 409 : 502;
        reply.Send(Ok(result, status));
    };
    if (!site.Write(index, value, done, why))
        reply.Send(THttpResponse::Error(503, why));
}

void TWebApi::WebSocketOpened(QWebSocket *socket, const THttpRequest &)
{
    FFeed.Add(socket);
}
