#pragma once
// TMqttConnection: one MQTT client connection (libmosquitto) run by the Qt event loop: its
// socket is watched with socket notifiers (reading always, writing while libmosquitto has
// bytes queued) and a timer calls the library's housekeeping (keep-alive, retries). No
// thread of its own. A lost or refused connection is tried again after a pause that doubles
// from the shortest to the longest backoff; the will is registered with every connect.
//
// Outgoing messages wait in a bounded outbox (MqttOutbox.h) and are handed to the library
// while fewer than MaxInFlight of them are unacknowledged: a flood of publications costs at
// most one waiting message per retained topic (the newest) and MaxQueuedEvents others.

#include "gateway/MqttOutbox.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QStringList>
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
    // Messages handed to the library and not yet acknowledged, at most.
    static constexpr int MaxInFlight = 100;
    // Non-retained messages waiting behind them, at most; beyond, the oldest is dropped.
    static constexpr int MaxQueuedEvents = 1000;

    // Publishes while connected (false otherwise: the caller republishes on Connected).
    bool Publish(const QString &topic, const QByteArray &payload, int qos, bool retain);
    bool Subscribe(const QString &pattern, int qos);
    // Messages waiting in the outbox, and QoS 1 and 2 messages the broker has not yet
    // acknowledged.
    int Unacknowledged() const { return int(FPending.size() + FOutbox.Size()); }
    // A clean DISCONNECT (the broker drops the will) once everything queued went out;
    // Disconnected follows.
    void Disconnect();
    // How the last connect attempt ended ("connection refused", "not authorised", ...).
    QString LastProblem() const { return FLastProblem; }

Q_SIGNALS:
    void Connected();
    void Disconnected(const QString &why);
    // `retained`: the broker kept it and hands it to every new subscriber.
    void MessageReceived(const QString &topic, const QByteArray &payload, bool retained);
    void AllAcknowledged();

private:
    static void OnConnect(mosquitto *, void *self, int rc);
    static void OnDisconnect(mosquitto *, void *self, int rc);
    static void OnMessage(mosquitto *, void *self, const mosquitto_message *message);
    static void OnPublish(mosquitto *, void *self, int mid);
    static void OnLog(mosquitto *, void *self, int level, const char *text);

    void Connect();
    void WatchSocket();
    void DropSocket();
    void Lost(const QString &why);
    void ScheduleReconnect();
    void Check(int rc, const char *what);
    void UpdateWriteInterest();
    void Pump();
    QString TlsProblem() const;
    QString RefusalText(int code) const;

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
    TMqttOutbox FOutbox{MaxQueuedEvents};
    qsizetype FDropped = 0;
    QString FLastProblem;
    int FConnack = -1;                 // the broker's answer to the last CONNECT; -1: none yet
    QStringList FLibraryErrors;        // what the library reported while connecting
    QString FVerifyError;              // why the broker's certificate was not trusted
};
