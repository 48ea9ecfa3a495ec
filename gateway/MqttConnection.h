#pragma once
// TMqttConnection: one MQTT client connection (libmosquitto) run by the Qt event loop: its
// socket is watched with socket notifiers (reading always, writing while libmosquitto has
// bytes queued) and a timer calls the library's housekeeping (keep-alive, retries). No
// thread of its own. A lost or refused connection is tried again after a pause that doubles
// from the shortest to the longest backoff; the will is registered with every connect.

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

struct mosquitto;
struct mosquitto_message;
class QSocketNotifier;

struct TMqttSettings
{
    QString Host = QStringLiteral("127.0.0.1");
    int Port = 1883;
    bool Tls = false;
    QString CaFile;            // TLS: the certificate authorities to trust (empty: the system's)
    QString ClientId;
    QString User;
    QByteArray Password;       // never printed
    int KeepAliveSeconds = 30;
    int ReconnectMinMs = 1000;
    int ReconnectMaxMs = 60000;
    QString WillTopic;
    QByteArray WillPayload;
};

class TMqttConnection : public QObject
{
    Q_OBJECT
public:
    explicit TMqttConnection(const TMqttSettings &settings, QObject *parent = nullptr);
    ~TMqttConnection() override;

    // Connects now and keeps the connection up until Disconnect().
    void Start();
    bool IsConnected() const { return FConnected; }
    // Publishes while connected (false otherwise: the caller republishes on Connected).
    bool Publish(const QString &topic, const QByteArray &payload, int qos, bool retain);
    bool Subscribe(const QString &pattern, int qos);
    // QoS 1 and 2 messages the broker has not yet acknowledged.
    int Unacknowledged() const { return int(FPending.size()); }
    // A clean DISCONNECT (the broker drops the will) once everything queued went out;
    // Disconnected follows.
    void Disconnect();
    // How the last connect attempt ended ("connection refused", "not authorised", ...).
    QString LastProblem() const { return FLastProblem; }

Q_SIGNALS:
    void Connected();
    void Disconnected(const QString &why);
    void MessageReceived(const QString &topic, const QByteArray &payload);
    void AllAcknowledged();

private:
    static void OnConnect(mosquitto *, void *self, int rc);
    static void OnDisconnect(mosquitto *, void *self, int rc);
    static void OnMessage(mosquitto *, void *self, const mosquitto_message *message);
    static void OnPublish(mosquitto *, void *self, int mid);

    void Connect();
    void WatchSocket();
    void DropSocket();
    void Lost(const QString &why);
    void ScheduleReconnect();
    void Check(int rc, const char *what);
    void UpdateWriteInterest();

    TMqttSettings FSettings;
    mosquitto *FClient = nullptr;
    QSocketNotifier *FReadNotifier = nullptr;
    QSocketNotifier *FWriteNotifier = nullptr;
    QTimer FHousekeeping;
    QTimer FReconnect;
    int FBackoffMs = 0;
    bool FConnected = false;
    bool FStopping = false;
    bool FStarted = false;
    QSet<int> FPending;
    QString FLastProblem;
};
