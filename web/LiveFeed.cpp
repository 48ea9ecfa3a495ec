#include "web/LiveFeed.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QWebSocket>

Q_LOGGING_CATEGORY(lcLive, "lonworks.web.live")

TLiveFeed::TLiveFeed(QObject *parent) : QObject(parent)
{
    FGather.setSingleShot(true);
    connect(&FGather, &QTimer::timeout, this, &TLiveFeed::Flush);
}

TLiveFeed::~TLiveFeed() = default;

bool TLiveFeed::Add(QWebSocket *socket)
{
    if (FClients.size() >= MaxClients) {
        qCWarning(lcLive, "a page's live feed refused: %d are open (the most)", MaxClients);
        socket->close(QWebSocketProtocol::CloseCodeTooMuchData, QStringLiteral("too many live pages"));
        socket->deleteLater();
        return false;
    }
    socket->setMaxAllowedIncomingMessageSize(MaxIncomingBytes);
    socket->setMaxAllowedIncomingFrameSize(MaxIncomingBytes);
    FClients.insert(socket);
    connect(socket, &QWebSocket::disconnected, this, [this, socket] {
        FClients.remove(socket);
        socket->deleteLater();
    });
    connect(socket, &QWebSocket::textMessageReceived, socket, [socket](const QString &message) {
        if (message == QLatin1String("ping"))
            socket->sendTextMessage(QStringLiteral("{\"type\":\"pong\"}"));
    });
    Send(socket, QByteArrayLiteral("{\"type\":\"hello\"}"));
    return true;
}

void TLiveFeed::Send(QWebSocket *socket, const QByteArray &json)
{
    if (socket->bytesToWrite() > MaxUnsentBytes) {
        qCWarning(lcLive, "a page that does not take its live feed was dropped (%s)",
                  qPrintable(socket->peerAddress().toString()));
        FClients.remove(socket);
        socket->abort();
        socket->deleteLater();
        return;
    }
    socket->sendTextMessage(QString::fromUtf8(json));
}

void TLiveFeed::Broadcast(const QByteArray &json)
{
    const QList<QWebSocket *> clients = FClients.values();
    for (QWebSocket *socket : clients)
        Send(socket, json);
}

void TLiveFeed::QueueValue(const QString &site, const QJsonObject &point, qint64 collectedSinceMs)
{
    if (FClients.isEmpty())
        return;
    auto since = FPendingSince.find(site);
    if (since == FPendingSince.end())
        FPendingSince.insert(site, collectedSinceMs);
    else
        *since = qMin(*since, collectedSinceMs);
    FPending[site].append(point);
    if (!FGather.isActive())
        FGather.start(GatherMs);
}

void TLiveFeed::Flush()
{
    for (auto it = FPending.cbegin(); it != FPending.cend(); ++it) {
        QJsonArray points;
        for (const QJsonObject &point : it.value())
            points.append(point);
        Broadcast(QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("values")},
                                            {QStringLiteral("site"), it.key()},
                                            {QStringLiteral("since"), FPendingSince.value(it.key())},
                                            {QStringLiteral("points"), points}})
                      .toJson(QJsonDocument::Compact));
    }
    FPending.clear();
    FPendingSince.clear();
}
