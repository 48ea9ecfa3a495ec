#pragma once
// THttpServer: the console's HTTP/1.1 listener on Qt Network (QTcpServer, or QSslServer with
// a certificate), with every resource a client can hold bounded: connections, the request
// line, the header block, the body, the time a request may take to arrive and the time an
// idle connection is kept. Requests are handed one at a time per connection to the handler,
// which answers at once or later through THttpReply; a WebSocket upgrade the handler accepts
// is handed to Qt WebSockets with the socket untouched. All in the Qt event loop.
//
// Qt HttpServer 6.4 (Debian 12) is not used: it reads a whole body into memory whatever its
// size, has no limit on the header block, no time limit for a request that trickles in and
// no connection limit, accepts a WebSocket upgrade before the application sees the request
// (no cookie check), and answers later only from a QtConcurrent thread. This file is the one
// place that knows the protocol's framing.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSslConfiguration>
#include <QString>
#include <QUrlQuery>

#include <functional>
#include <memory>

class QTcpServer;
class QTcpSocket;
class QWebSocket;
class QWebSocketServer;
class THttpConnection;

struct THttpLimits
{
    int MaxConnections = 512;            // open connections, WebSockets included
    int MaxRequestLineBytes = 8192;      // method, target and version
    int MaxHeaderBytes = 16384;          // the request line and every header line together
    int MaxHeaderLines = 100;
    qint64 MaxBodyBytes = 65536;
    int RequestTimeoutMs = 10000;        // from a request's first byte to its last
    int IdleTimeoutMs = 30000;           // a kept-alive connection with no request under way
    qint64 MaxUnsentBytes = 32 * 1024 * 1024;   // answers the client has not taken yet
};

struct THttpRequest
{
    QByteArray Method;
    QByteArray Target;                   // as sent: path and query
    QString Path;                        // percent-decoded path
    QUrlQuery Query;
    QList<QPair<QByteArray, QByteArray>> Headers;   // names in lower case
    QByteArray Body;
    QHostAddress Peer;
    bool Secure = false;

    QByteArray Header(const QByteArray &lowerName) const;
    QByteArray Cookie(const QByteArray &name) const;
    bool IsWebSocketUpgrade() const;
};

struct THttpResponse
{
    int Status = 200;
    QByteArray ContentType = QByteArrayLiteral("application/json");
    QByteArray Body;
    QList<QPair<QByteArray, QByteArray>> Headers;

    // {"error": message} with the status.
    static THttpResponse Error(int status, const QString &message);
    static THttpResponse Json(int status, const QByteArray &json);
    static QByteArray ReasonPhrase(int status);
};

// Answers one request, now or later; copies share the request. A reply whose connection
// closed meanwhile answers nothing.
class THttpReply
{
public:
    THttpReply() = default;
    THttpReply(THttpConnection *connection, quint64 serial);

    void Send(const THttpResponse &response) const;
    // Hands the connection to the WebSocket server: the handshake is answered there.
    void AcceptWebSocket() const;
    bool Open() const;

private:
    QPointer<THttpConnection> FConnection;
    quint64 FSerial = 0;
};

class THttpServer : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void(const THttpRequest &, const THttpReply &)>;

    explicit THttpServer(const THttpLimits &limits, QObject *parent = nullptr);
    ~THttpServer() override;

    // TLS for every connection from now on (before Listen).
    void SetTls(const QSslConfiguration &configuration);
    void SetHandler(Handler handler) { FHandler = std::move(handler); }
    bool Listen(const QHostAddress &address, quint16 port, QString &problem);
    quint16 Port() const;
    int Connections() const { return *FConnections; }
    const THttpLimits &Limits() const { return FLimits; }

Q_SIGNALS:
    // An accepted upgrade: the socket is a child of the server; its request is `request`.
    void WebSocketOpened(QWebSocket *socket, const THttpRequest &request);

private:
    friend class THttpConnection;
    void Accept();
    void Handle(THttpConnection *connection, const THttpRequest &request, quint64 serial);
    void Upgrade(THttpConnection *connection, const THttpRequest &request);

    THttpLimits FLimits;
    Handler FHandler;
    QTcpServer *FListener = nullptr;
    QWebSocketServer *FWebSockets = nullptr;
    bool FTls = false;
    QSslConfiguration FTlsConfig;
    std::shared_ptr<int> FConnections = std::make_shared<int>(0);   // open sockets
    QList<QPair<QPointer<QTcpSocket>, THttpRequest>> FUpgrading;
};
