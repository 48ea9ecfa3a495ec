#include "web/HttpServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>
#include <QWebSocketServer>

Q_LOGGING_CATEGORY(lcHttp, "lonworks.web.http")

namespace {

const QByteArray kHeadEnd = QByteArrayLiteral("\r\n\r\n");
// TLS handshakes still under way at once, and how long one may take.
constexpr int kMaxHandshakes = 64;
constexpr int kHandshakeTimeoutMs = 10000;

bool IsToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (c <= 32 || c >= 127 || QByteArrayLiteral("()<>@,;:\\\"/[]?={}").contains(c))
            return false;
    }
    return true;
}

// Counts a connection while its socket lives: a child of the socket, so the count holds
// whoever deletes the socket and whatever signals of it were cut.
class TConnectionCount : public QObject
{
public:
    TConnectionCount(QObject *socket, std::shared_ptr<int> count) : QObject(socket), FCount(std::move(count))
    {
        ++*FCount;
    }
    ~TConnectionCount() override { --*FCount; }

private:
    std::shared_ptr<int> FCount;
};

} // namespace

QByteArray THttpRequest::Header(const QByteArray &lowerName) const
{
    for (const auto &header : Headers) {
        if (header.first == lowerName)
            return header.second;
    }
    return QByteArray();
}

QByteArray THttpRequest::Cookie(const QByteArray &name) const
{
    for (const auto &header : Headers) {
        if (header.first != "cookie")
            continue;
        for (const QByteArray &pair : header.second.split(';')) {
            const qsizetype equals = pair.indexOf('=');
            if (equals > 0 && pair.left(equals).trimmed() == name)
                return pair.mid(equals + 1).trimmed();
        }
    }
    return QByteArray();
}

bool THttpRequest::IsWebSocketUpgrade() const
{
    return Method == "GET" && Header("upgrade").toLower() == "websocket"
        && Header("connection").toLower().contains("upgrade");
}

THttpResponse THttpResponse::Error(int status, const QString &message)
{
    return Json(status, QJsonDocument(QJsonObject{{QStringLiteral("error"), message}}).toJson(QJsonDocument::Compact));
}

THttpResponse THttpResponse::Json(int status, const QByteArray &json)
{
    THttpResponse response;
    response.Status = status;
    response.Body = json;
    return response;
}

QByteArray THttpResponse::ReasonPhrase(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 202: return "Accepted";
    case 204: return "No Content";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 414: return "URI Too Long";
    case 415: return "Unsupported Media Type";
    case 422: return "Unprocessable Content";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    case 505: return "HTTP Version Not Supported";
    default: return "Status";
    }
}

// One client connection: reads requests within the limits, hands them over one at a time,
// writes the answers.
class THttpConnection : public QObject
{
public:
    enum State { ReadingHead, ReadingBody, Handling, Closing, Upgraded };

    THttpConnection(THttpServer &server, QTcpSocket *socket)
        : QObject(socket), FServer(server), FSocket(socket)
    {
        FTimer.setSingleShot(true);
        connect(&FTimer, &QTimer::timeout, this, &THttpConnection::TimedOut);
        connect(socket, &QTcpSocket::readyRead, this, &THttpConnection::Read);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::bytesWritten, this, [this] {
            if (FState == Closing && FSocket->bytesToWrite() == 0)
                FSocket->disconnectFromHost();
        });
        FTimer.start(FServer.FLimits.IdleTimeoutMs);
        if (socket->bytesAvailable() > 0)
            QTimer::singleShot(0, this, &THttpConnection::Read);
    }

    void Send(quint64 serial, const THttpResponse &response)
    {
        if (serial != FSerial || FState != Handling)
            return;
        WriteResponse(response, FKeepAlive);
        if (!FKeepAlive) {
            Close();
            return;
        }
        FState = ReadingHead;
        FRequest = THttpRequest();
        FScanned = 0;
        FTimer.start(FServer.FLimits.IdleTimeoutMs);
        if (FSocket->bytesAvailable() > 0)
            QTimer::singleShot(0, this, &THttpConnection::Read);
    }

    void Upgrade(quint64 serial)
    {
        if (serial != FSerial || FState != Handling)
            return;
        FState = Upgraded;
        FTimer.stop();
        disconnect(FSocket, nullptr, this, nullptr);
        FServer.Upgrade(this, FRequest);
    }

    bool Answering(quint64 serial) const { return serial == FSerial && FState == Handling; }
    QTcpSocket *Socket() const { return FSocket; }

private:
    void Read()
    {
        if (FState == ReadingHead)
            ReadHead();
        if (FState == ReadingBody)
            ReadBody();
    }

    void ReadHead()
    {
        const THttpLimits &limits = FServer.FLimits;
        // The head is looked at without taking it from the socket, so that an upgrade can be
        // handed over whole.
        const QByteArray seen = FSocket->peek(limits.MaxHeaderBytes + 4);
        if (seen.isEmpty())
            return;
        if (!FTimer.isActive() || FTimer.interval() != limits.RequestTimeoutMs)
            FTimer.start(limits.RequestTimeoutMs);
        const qsizetype end = seen.indexOf(kHeadEnd, qMax<qsizetype>(0, FScanned - 3));
        if (end < 0) {
            FScanned = seen.size();
            const qsizetype lineEnd = seen.indexOf("\r\n");
            if ((lineEnd < 0 ? seen.size() : lineEnd) > limits.MaxRequestLineBytes) {
                Refuse(414, QStringLiteral("The request line is longer than %1 bytes.").arg(limits.MaxRequestLineBytes));
            } else if (seen.size() > limits.MaxHeaderBytes) {
                Refuse(431, QStringLiteral("The request's header is larger than %1 bytes.").arg(limits.MaxHeaderBytes));
            }
            return;
        }
        if (end + 4 > limits.MaxHeaderBytes) {
            Refuse(431, QStringLiteral("The request's header is larger than %1 bytes.").arg(limits.MaxHeaderBytes));
            return;
        }
        FHeadBytes = end + 4;
        if (!ParseHead(seen.left(end)))
            return;
        FRequest.Peer = FSocket->peerAddress();
        FRequest.Secure = qobject_cast<QSslSocket *>(FSocket) != nullptr;
        if (FRequest.IsWebSocketUpgrade()) {
            Dispatch();
            return;
        }
        FSocket->skip(FHeadBytes);
        FState = ReadingBody;
        if (FBodyLength > 0 && FRequest.Header("expect").toLower() == "100-continue")
            FSocket->write("HTTP/1.1 100 Continue\r\n\r\n");
    }

    bool ParseHead(const QByteArray &head)
    {
        const THttpLimits &limits = FServer.FLimits;
        const QList<QByteArray> lines = head.split('\n');
        if (lines.size() - 1 > limits.MaxHeaderLines) {
            Refuse(431, QStringLiteral("The request has more than %1 header lines.").arg(limits.MaxHeaderLines));
            return false;
        }
        const QList<QByteArray> first = lines.first().trimmed().split(' ');
        if (first.size() != 3 || !IsToken(first.at(0)) || !first.at(1).startsWith('/')) {
            Refuse(400, QStringLiteral("The request line is not an HTTP request line."));
            return false;
        }
        if (first.at(1).size() > limits.MaxRequestLineBytes) {
            Refuse(414, QStringLiteral("The request line is longer than %1 bytes.").arg(limits.MaxRequestLineBytes));
            return false;
        }
        const QByteArray version = first.at(2);
        if (version != "HTTP/1.1" && version != "HTTP/1.0") {
            Refuse(505, QStringLiteral("Only HTTP/1.0 and HTTP/1.1 are served."));
            return false;
        }
        FRequest.Method = first.at(0);
        FRequest.Target = first.at(1);
        const qsizetype question = FRequest.Target.indexOf('?');
        FRequest.Path = QUrl::fromPercentEncoding(FRequest.Target.left(question < 0 ? FRequest.Target.size() : question));
        if (question >= 0)
            FRequest.Query = QUrlQuery(QString::fromUtf8(FRequest.Target.mid(question + 1)));
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).endsWith('\r') ? lines.at(i).chopped(1) : lines.at(i);
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0 || !IsToken(line.left(colon))) {
                Refuse(400, QStringLiteral("A header line is malformed."));
                return false;
            }
            FRequest.Headers.append({line.left(colon).toLower(), line.mid(colon + 1).trimmed()});
        }
        const QByteArray connection = FRequest.Header("connection").toLower();
        FKeepAlive = version == "HTTP/1.1" ? !connection.contains("close") : connection.contains("keep-alive");
        if (!FRequest.Header("transfer-encoding").isEmpty()) {
            Refuse(411, QStringLiteral("Send the body with a Content-Length, not in chunks."));
            return false;
        }
        FBodyLength = 0;
        const QByteArray length = FRequest.Header("content-length");
        if (!length.isEmpty()) {
            bool ok = false;
            FBodyLength = length.toLongLong(&ok);
            if (!ok || FBodyLength < 0) {
                Refuse(400, QStringLiteral("The Content-Length is not a number."));
                return false;
            }
            if (FBodyLength > limits.MaxBodyBytes) {
                Refuse(413, QStringLiteral("The request's body is larger than %1 bytes.").arg(limits.MaxBodyBytes));
                return false;
            }
        }
        return true;
    }

    void ReadBody()
    {
        const qint64 missing = FBodyLength - FRequest.Body.size();
        if (missing > 0)
            FRequest.Body += FSocket->read(missing);
        if (FRequest.Body.size() < FBodyLength)
            return;
        Dispatch();
    }

    void Dispatch()
    {
        FState = Handling;
        FTimer.stop();
        ++FSerial;
        FServer.Handle(this, FRequest, FSerial);
    }

    void WriteResponse(const THttpResponse &response, bool keepAlive)
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.Status) + ' '
            + THttpResponse::ReasonPhrase(response.Status) + "\r\n";
        head += "Content-Length: " + QByteArray::number(response.Body.size()) + "\r\n";
        if (!response.ContentType.isEmpty())
            head += "Content-Type: " + response.ContentType + "\r\n";
        head += "X-Content-Type-Options: nosniff\r\n";
        head += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
        for (const auto &header : response.Headers)
            head += header.first + ": " + header.second + "\r\n";
        head += "\r\n";
        if (FSocket->bytesToWrite() + head.size() + response.Body.size() > FServer.FLimits.MaxUnsentBytes) {
            qCWarning(lcHttp, "%s does not take its answers: dropped", qPrintable(FSocket->peerAddress().toString()));
            FSocket->abort();
            return;
        }
        FSocket->write(head);
        if (FRequest.Method != "HEAD")
            FSocket->write(response.Body);
    }

    void Refuse(int status, const QString &message)
    {
        qCInfo(lcHttp, "%s: %d %s", qPrintable(FSocket->peerAddress().toString()), status, qPrintable(message));
        WriteResponse(THttpResponse::Error(status, message), false);
        Close();
    }

    void Close()
    {
        FState = Closing;
        FTimer.start(FServer.FLimits.RequestTimeoutMs);   // a client that never reads is cut off
        disconnect(FSocket, &QTcpSocket::readyRead, this, nullptr);
        if (FSocket->bytesToWrite() == 0)
            FSocket->disconnectFromHost();
    }

    void TimedOut()
    {
        if (FState == Closing) {
            FSocket->abort();
            return;
        }
        if (FState == ReadingBody || (FState == ReadingHead && FSocket->bytesAvailable() > 0)) {
            Refuse(408, QStringLiteral("The request did not arrive within %1 s.")
                            .arg(FServer.FLimits.RequestTimeoutMs / 1000.0));
            return;
        }
        FSocket->disconnectFromHost();   // idle
    }

    THttpServer &FServer;
    QTcpSocket *FSocket;
    QTimer FTimer;
    State FState = ReadingHead;
    THttpRequest FRequest;
    qsizetype FScanned = 0;
    qsizetype FHeadBytes = 0;
    qint64 FBodyLength = 0;
    bool FKeepAlive = true;
    quint64 FSerial = 0;
};

THttpReply::THttpReply(THttpConnection *connection, quint64 serial)
    : FConnection(connection), FSerial(serial)
{
}

void THttpReply::Send(const THttpResponse &response) const
{
    if (FConnection)
        FConnection->Send(FSerial, response);
}

void THttpReply::AcceptWebSocket() const
{
    if (FConnection)
        FConnection->Upgrade(FSerial);
}

bool THttpReply::Open() const
{
    return FConnection && FConnection->Answering(FSerial);
}

THttpServer::THttpServer(const THttpLimits &limits, QObject *parent)
    : QObject(parent), FLimits(limits)
{
    FWebSockets = new QWebSocketServer(QStringLiteral("lonworks-web"), QWebSocketServer::NonSecureMode, this);
    FWebSockets->setHandshakeTimeout(FLimits.RequestTimeoutMs);
    connect(FWebSockets, &QWebSocketServer::newConnection, this, [this] {
        while (FWebSockets->hasPendingConnections()) {
            QWebSocket *socket = FWebSockets->nextPendingConnection();
            // The request that asked for it: matched by the underlying socket's peer.
            THttpRequest request;
            for (qsizetype i = 0; i < FUpgrading.size(); ++i) {
                const QPointer<QTcpSocket> connection = FUpgrading.at(i).first;
                if (!connection) {
                    FUpgrading.removeAt(i--);
                    continue;
                }
                if (connection->peerPort() == socket->peerPort() && connection->peerAddress() == socket->peerAddress()) {
                    request = FUpgrading.takeAt(i).second;
                    // The WebSocket leaves its connection behind when it goes (and cuts every
                    // signal of it): the connection goes with it.
                    connect(socket, &QObject::destroyed, this, [connection] {
                        if (connection)
                            connection->deleteLater();
                    });
                    break;
                }
            }
            socket->setParent(this);
            Q_EMIT WebSocketOpened(socket, request);
        }
    });
}

THttpServer::~THttpServer() = default;

void THttpServer::SetTls(const QSslConfiguration &configuration)
{
    FTls = true;
    FTlsConfig = configuration;
}

bool THttpServer::Listen(const QHostAddress &address, quint16 port, QString &problem)
{
    if (FTls) {
        auto *tls = new QSslServer(this);
        tls->setSslConfiguration(FTlsConfig);
        tls->setHandshakeTimeout(kHandshakeTimeoutMs);
        connect(tls, &QSslServer::errorOccurred, this, [](QSslSocket *socket, QAbstractSocket::SocketError) {
            qCInfo(lcHttp, "TLS connection from %s: %s", qPrintable(socket->peerAddress().toString()),
                   qPrintable(socket->errorString()));
        });
        FListener = tls;
    } else {
        FListener = new QTcpServer(this);
    }
    FListener->setMaxPendingConnections(kMaxHandshakes);
    connect(FListener, &QTcpServer::pendingConnectionAvailable, this, &THttpServer::Accept);
    if (!FListener->listen(address, port)) {
        problem = FListener->errorString();
        return false;
    }
    return true;
}

quint16 THttpServer::Port() const
{
    return FListener ? FListener->serverPort() : 0;
}

void THttpServer::Accept()
{
    while (FListener->hasPendingConnections()) {
        QTcpSocket *socket = FListener->nextPendingConnection();
        if (*FConnections >= FLimits.MaxConnections) {
            qCWarning(lcHttp, "connection from %s refused: %d connections are open (the most)",
                      qPrintable(socket->peerAddress().toString()), *FConnections);
            socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QTimer::singleShot(FLimits.RequestTimeoutMs, socket, &QTcpSocket::abort);
            continue;
        }
        new TConnectionCount(socket, FConnections);
        socket->setParent(this);
        new THttpConnection(*this, socket);
    }
}

void THttpServer::Handle(THttpConnection *connection, const THttpRequest &request, quint64 serial)
{
    const THttpReply reply(connection, serial);
    if (!FHandler) {
        reply.Send(THttpResponse::Error(503, QStringLiteral("Not ready.")));
        return;
    }
    FHandler(request, reply);
}

void THttpServer::Upgrade(THttpConnection *connection, const THttpRequest &request)
{
    QTcpSocket *socket = connection->Socket();
    // From now on the WebSocket owns the socket and ends it.
    disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connection->deleteLater();
    FUpgrading.append({QPointer<QTcpSocket>(socket), request});
    FWebSockets->handleConnection(socket);
}
