#include "gateway/MqttConnection.h"

#include <QLoggingCategory>
#include <QSocketNotifier>

#include <mosquitto.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstring>

Q_LOGGING_CATEGORY(lcMqtt, "lonworks.gateway.mqtt")

namespace {

constexpr int kHousekeepingMs = 1000;
// What the library reports while one connection is made: its last few error lines.
constexpr qsizetype kMaxLibraryErrors = 8;
// CONNACK return codes of MQTT 3.1.1.
constexpr int kRefusedIdentifier = 2;
constexpr int kRefusedLogin = 4;
constexpr int kRefusedNotAuthorised = 5;

// libmosquitto's global set-up, once per process.
void InitLibrary()
{
    static const bool done = [] {
        mosquitto_lib_init();
        return true;
    }();
    Q_UNUSED(done);
}

QString ErrorText(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

TMqttConnection::TMqttConnection(const TMqttSettings &settings, QObject *parent)
    : QObject(parent), FSettings(settings)
{
    InitLibrary();
    FBackoffMs = FSettings.ReconnectMinMs;
    FHousekeeping.setInterval(kHousekeepingMs);
    connect(&FHousekeeping, &QTimer::timeout, this, [this] {
        if (FClient && FReadNotifier) {
            Check(mosquitto_loop_misc(FClient), "housekeeping");
            UpdateWriteInterest();
        }
    });
    FReconnect.setSingleShot(true);
    connect(&FReconnect, &QTimer::timeout, this, &TMqttConnection::Connect);

    const QByteArray id = FSettings.ClientId.toUtf8();
    FClient = mosquitto_new(id.constData(), true, this);
    if (!FClient)
        return;
    mosquitto_int_option(FClient, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(FClient, &TMqttConnection::OnConnect);
    mosquitto_disconnect_callback_set(FClient, &TMqttConnection::OnDisconnect);
    mosquitto_message_callback_set(FClient, &TMqttConnection::OnMessage);
    mosquitto_publish_callback_set(FClient, &TMqttConnection::OnPublish);
    mosquitto_log_callback_set(FClient, &TMqttConnection::OnLog);
    if (!FSettings.User.isEmpty()) {
        const QByteArray user = FSettings.User.toUtf8();
        mosquitto_username_pw_set(FClient, user.constData(),
                                  FSettings.Password.isEmpty() ? nullptr : FSettings.Password.constData());
    }
    if (FSettings.Tls) {
        // Without a CA file the system's certificate authorities are trusted.
        const QByteArray ca = FSettings.CaFile.toLocal8Bit();
        const int rc = ca.isEmpty()
            ? mosquitto_int_option(FClient, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
            : mosquitto_tls_set(FClient, ca.constData(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            FLastProblem = QStringLiteral("TLS set-up failed: ") + ErrorText(rc);
    }
    if (!FSettings.WillTopic.isEmpty()) {
        const QByteArray topic = FSettings.WillTopic.toUtf8();
        mosquitto_will_set(FClient, topic.constData(), int(FSettings.WillPayload.size()),
                           FSettings.WillPayload.constData(), 1, true);
    }
}

TMqttConnection::~TMqttConnection()
{
    DropSocket();
    if (FClient) {
        mosquitto_destroy(FClient);
        FClient = nullptr;
    }
}

void TMqttConnection::Start()
{
    FStarted = true;
    FStopping = false;
    Connect();
}

void TMqttConnection::Connect()
{
    if (!FClient) {
        Lost(QStringLiteral("the MQTT client could not be created"));
        return;
    }
    if (FStopping)
        return;
    DropSocket();
    FConnack = -1;
    FLibraryErrors.clear();
    FVerifyError.clear();
    const QByteArray host = FSettings.Host.toUtf8();
    // Resolves the name, then connects without blocking; CONNECT goes out once the socket
    // is writable and the CONNACK arrives through OnConnect.
    const int rc = mosquitto_connect_async(FClient, host.constData(), FSettings.Port,
                                           FSettings.KeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        // A broker on this machine may answer the TLS handshake within the call.
        const bool tlsNotes = FSettings.Tls && (!FVerifyError.isEmpty() || !FLibraryErrors.isEmpty());
        Lost(tlsNotes ? TlsProblem() : ErrorText(rc));
        return;
    }
    WatchSocket();
}

void TMqttConnection::WatchSocket()
{
    const int fd = mosquitto_socket(FClient);
    if (fd < 0) {
        Lost(QStringLiteral("no socket"));
        return;
    }
    FReadNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(FReadNotifier, &QSocketNotifier::activated, this, [this] {
        Check(mosquitto_loop_read(FClient, 1), "reading");
        UpdateWriteInterest();
    });
    FWriteNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    connect(FWriteNotifier, &QSocketNotifier::activated, this, [this] {
        Check(mosquitto_loop_write(FClient, 1), "writing");
        UpdateWriteInterest();
    });
    UpdateWriteInterest();
    FHousekeeping.start();
}

void TMqttConnection::DropSocket()
{
    FHousekeeping.stop();
    // Later: this may run inside one of the notifiers' own signals.
    for (QSocketNotifier *notifier : {FReadNotifier, FWriteNotifier}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    FReadNotifier = nullptr;
    FWriteNotifier = nullptr;
}

void TMqttConnection::UpdateWriteInterest()
{
    if (FWriteNotifier && FClient)
        FWriteNotifier->setEnabled(mosquitto_want_write(FClient));
}

void TMqttConnection::Check(int rc, const char *what)
{
    if (rc == MOSQ_ERR_SUCCESS || !FReadNotifier)
        return;
    if (FStopping && (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST)) {
        DropSocket();
        FConnected = false;
        Q_EMIT Disconnected(QStringLiteral("disconnected"));
        return;
    }
    // The broker's CONNACK said no: its reason, in one line.
    if (rc == MOSQ_ERR_CONN_REFUSED && FConnack > 0) {
        Lost(RefusalText(FConnack));
        return;
    }
    if (FSettings.Tls && !FConnected && (!FVerifyError.isEmpty() || !FLibraryErrors.isEmpty())) {
        Lost(TlsProblem());
        return;
    }
    Lost(QStringLiteral("%1 failed: %2").arg(QLatin1String(what), ErrorText(rc)));
}

QString TMqttConnection::RefusalText(int code) const
{
    const QString why = QString::fromUtf8(mosquitto_connack_string(code));
    if (code == kRefusedLogin || code == kRefusedNotAuthorised) {
        if (FSettings.User.isEmpty())
            return QStringLiteral("the broker refused the connection without a login (%1): give "
                                  "broker.user and broker.passwordFile").arg(why);
        return QStringLiteral("the broker refused the login of user \"%1\" (%2): check broker.user "
                              "and broker.passwordFile").arg(FSettings.User, why);
    }
    if (code == kRefusedIdentifier)
        return QStringLiteral("the broker refused the client id \"%1\" (%2): check broker.clientId")
            .arg(FSettings.ClientId, why);
    return QStringLiteral("the broker refused the connection: %1").arg(why);
}

QString TMqttConnection::TlsProblem() const
{
    const QString trusted = FSettings.CaFile.isEmpty()
        ? QStringLiteral("the system's certificate authorities; name the broker's with broker.caFile")
        : QStringLiteral("the certificate authorities of broker.caFile %1").arg(FSettings.CaFile);
    for (const QString &line : FLibraryErrors) {
        if (line.contains(QLatin1String("host name verification failed"), Qt::CaseInsensitive))
            return QStringLiteral("TLS: the broker's certificate is not made out to the host name "
                                  "\"%1\" of broker.url").arg(FSettings.Host);
    }
    if (!FVerifyError.isEmpty())
        return QStringLiteral("TLS: the broker's certificate is not trusted: %1 (trusted: %2)")
            .arg(FVerifyError, trusted);
    return QStringLiteral("TLS: the handshake with the broker failed: %1").arg(FLibraryErrors.join(QStringLiteral("; ")));
}

void TMqttConnection::Lost(const QString &why)
{
    DropSocket();
    if (FClient)
        mosquitto_disconnect(FClient);   // closes the socket; nothing goes out on a dead one
    const bool wasConnected = FConnected;
    FConnected = false;
    FPending.clear();
    FOutbox.Clear();
    FLastProblem = why;
    if (wasConnected || !FStopping)
        Q_EMIT Disconnected(why);
    if (!FStopping)
        ScheduleReconnect();
}

void TMqttConnection::ScheduleReconnect()
{
    if (FReconnect.isActive())
        return;
    FReconnect.start(FBackoffMs);
    FBackoffMs = qMin(FBackoffMs * 2, FSettings.ReconnectMaxMs);
}

bool TMqttConnection::Publish(const QString &topic, const QByteArray &payload, int qos, bool retain)
{
    if (!FConnected)
        return false;
    if (!FOutbox.Add(TMqttMessage{topic, payload, qos, retain})) {
        // Log the first of a run of drops, then every thousandth.
        if (FDropped++ % MaxQueuedEvents == 0)
            qCWarning(lcMqtt, "the broker takes messages more slowly than they come: %lld of them "
                              "were dropped so far (the oldest waiting non-retained ones)",
                      qlonglong(FDropped));
    }
    Pump();
    return true;
}

void TMqttConnection::Pump()
{
    while (FConnected && !FOutbox.IsEmpty() && FPending.size() < MaxInFlight) {
        const TMqttMessage message = FOutbox.Take();
        const QByteArray name = message.Topic.toUtf8();
        int mid = 0;
        const int rc = mosquitto_publish(FClient, &mid, name.constData(), int(message.Payload.size()),
                                         message.Payload.constData(), message.Qos, message.Retain);
        if (rc != MOSQ_ERR_SUCCESS) {
            qCWarning(lcMqtt, "could not publish on %s: %s", name.constData(), qPrintable(ErrorText(rc)));
            continue;
        }
        if (message.Qos > 0)
            FPending.insert(mid);
    }
    UpdateWriteInterest();
}

bool TMqttConnection::Subscribe(const QString &pattern, int qos)
{
    if (!FConnected)
        return false;
    const QByteArray name = pattern.toUtf8();
    const bool done = mosquitto_subscribe(FClient, nullptr, name.constData(), qos) == MOSQ_ERR_SUCCESS;
    UpdateWriteInterest();
    return done;
}

void TMqttConnection::Disconnect()
{
    FStopping = true;
    FReconnect.stop();
    if (!FConnected || !FClient) {
        DropSocket();
        Q_EMIT Disconnected(QStringLiteral("disconnected"));
        return;
    }
    mosquitto_disconnect(FClient);
    // Flush DISCONNECT now; the broker closes the connection and the read notifier sees it.
    mosquitto_loop_write(FClient, 1);
    DropSocket();
    FConnected = false;
    Q_EMIT Disconnected(QStringLiteral("disconnected"));
}

// libmosquitto calls these from inside its loop functions, holding its own locks: the work
// is queued for the event loop, where calling the library again is safe.
void TMqttConnection::OnConnect(mosquitto *, void *self, int rc)
{
    auto *connection = static_cast<TMqttConnection *>(self);
    // Noted at once: the read that brought the CONNACK fails next, and Check names the reason.
    connection->FConnack = rc;
    QMetaObject::invokeMethod(connection, [connection, rc] {
        if (rc != 0) {
            // The broker refused: wrong credentials, client id or protocol. Try again later
            // (unless the failed read already did).
            if (connection->FReadNotifier)
                connection->Lost(connection->RefusalText(rc));
            return;
        }
        connection->FConnected = true;
        connection->FBackoffMs = connection->FSettings.ReconnectMinMs;
        connection->FLastProblem.clear();
        Q_EMIT connection->Connected();
    }, Qt::QueuedConnection);
}

void TMqttConnection::OnDisconnect(mosquitto *, void *self, int rc)
{
    auto *connection = static_cast<TMqttConnection *>(self);
    const QString why = ErrorText(rc);
    QMetaObject::invokeMethod(connection, [connection, rc, why] {
        if (rc != 0 && !connection->FStopping && connection->FReadNotifier)
            connection->Lost(QStringLiteral("connection lost: ") + why);
    }, Qt::QueuedConnection);
}

void TMqttConnection::OnMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *connection = static_cast<TMqttConnection *>(self);
    if (!message || !message->topic || message->payloadlen < 0)
        return;
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
    const bool retained = message->retain;
    QMetaObject::invokeMethod(connection, [connection, topic, payload, retained] {
        Q_EMIT connection->MessageReceived(topic, payload, retained);
    }, Qt::QueuedConnection);
}

void TMqttConnection::OnPublish(mosquitto *, void *self, int mid)
{
    auto *connection = static_cast<TMqttConnection *>(self);
    QMetaObject::invokeMethod(connection, [connection, mid] {
        if (!connection->FPending.remove(mid))
            return;
        connection->Pump();
        if (connection->FPending.isEmpty() && connection->FOutbox.IsEmpty())
            Q_EMIT connection->AllAcknowledged();
    }, Qt::QueuedConnection);
}

// Called inside the library's loop functions, before it closes a failed connection: the
// TLS session is still there to say why the broker's certificate was not trusted. Only
// notes are taken here.
void TMqttConnection::OnLog(mosquitto *client, void *self, int level, const char *text)
{
    if (!(level & MOSQ_LOG_ERR) || !text)
        return;
    auto *connection = static_cast<TMqttConnection *>(self);
    if (connection->FLibraryErrors.size() < kMaxLibraryErrors)
        connection->FLibraryErrors.append(QString::fromUtf8(text));
    if (auto *ssl = static_cast<SSL *>(mosquitto_ssl_get(client))) {
        const long verdict = SSL_get_verify_result(ssl);
        if (verdict != X509_V_OK)
            connection->FVerifyError = QString::fromUtf8(X509_verify_cert_error_string(verdict));
    }
}
