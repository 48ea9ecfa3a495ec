#pragma once
// TLiveFeed: the pages' WebSockets (/api/live). Every value change, site change and write
// outcome goes to every page as a JSON text message; value changes of a site are gathered
// for a short while and sent together. A page that does not take its messages (more than
// MaxUnsentBytes waiting) is dropped; messages from pages are at most MaxIncomingBytes and
// are otherwise ignored.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>

class QWebSocket;

class TLiveFeed : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxClients = 256;
    static constexpr qint64 MaxIncomingBytes = 4096;
    static constexpr qint64 MaxUnsentBytes = 8 * 1024 * 1024;
    static constexpr int GatherMs = 50;

    explicit TLiveFeed(QObject *parent = nullptr);
    ~TLiveFeed() override;

    // False (and the socket closed) when there are MaxClients already.
    bool Add(QWebSocket *socket);
    int Clients() const { return int(FClients.size()); }
    // A whole message to every page at once.
    void Broadcast(const QByteArray &json);
    // A value change, sent with the others of its site after GatherMs.
    void QueueValue(const QString &site, const QJsonObject &point, qint64 collectedSinceMs);

private:
    void Flush();
    void Send(QWebSocket *socket, const QByteArray &json);

    QSet<QWebSocket *> FClients;
    QHash<QString, QList<QJsonObject>> FPending;
    QHash<QString, qint64> FPendingSince;
    QTimer FGather;
};
