#pragma once
// Test helpers around a real broker: Debian's mosquitto on a free port of 127.0.0.1 with its
// configuration in the test's own folder, mosquitto_sub collecting what arrives, and
// mosquitto_pub sending.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

class TMqttBroker
{
public:
    TMqttBroker();
    ~TMqttBroker();   // Stop()

    // True when mosquitto, mosquitto_sub and mosquitto_pub are installed.
    static bool Available();
    // Starts mosquitto (again on the same port after Stop) and waits until it accepts
    // connections. `listener`: lines for the listener (password_file, certfile, ...); one
    // that names allow_anonymous replaces the default (anonymous clients allowed).
    bool Start(const QString &listener = QString());
    // Ends mosquitto (SIGTERM, then SIGKILL) and waits for it.
    void Stop();
    int Port() const { return FPort; }
    QString Url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(FPort); }

    // mosquitto_pub; true when it exited with 0.
    bool Publish(const QString &topic, const QString &payload, bool retain = false) const;
    // The payload's bytes as they are (not necessarily UTF-8).
    bool PublishBytes(const QString &topic, const QByteArray &payload) const;
    // One message per line, as fast as mosquitto_pub sends them (QoS 0).
    bool PublishLines(const QString &topic, const QByteArray &lines) const;
    QString Folder() const { return FDir.path(); }
    // The retained messages under the patterns, as "topic payload" lines (mosquitto_sub -v
    // --retained-only, ending after waitSeconds of silence).
    QStringList Retained(const QStringList &patterns, int waitSeconds = 2) const;

private:
    QTemporaryDir FDir;
    QProcess FBroker;
    int FPort = 0;
};

// mosquitto_sub running in the background for the life of the object.
class TMqttSubscriber
{
public:
    TMqttSubscriber(int port, const QStringList &patterns);
    ~TMqttSubscriber();

    bool Started() const { return FStarted; }
    // Every "topic payload" line so far.
    QStringList Lines();
    // Waits (with the event loop running) until a line from index `from` on satisfies
    // `match`; false after ms.
    bool WaitFor(const std::function<bool(const QString &)> &match, int ms, QString *found = nullptr,
                 qsizetype from = 0);
    // The last payload seen on the topic ("" when none).
    QString Last(const QString &topic);

private:
    QProcess FProcess;
    QStringList FLines;
    QByteArray FPartial;
    bool FStarted = false;
};

// The first free TCP port of 127.0.0.1 the system hands out.
int FreePort();
