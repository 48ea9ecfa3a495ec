#include "MqttBroker.h"

#include "DriverProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString Tool(const QString &name)
{
    return QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"),
                                                 QStringLiteral("/usr/local/sbin"), QStringLiteral("/usr/local/bin")});
}

bool Accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

} // namespace

int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

TMqttBroker::TMqttBroker()
{
    FBroker.setProcessChannelMode(QProcess::MergedChannels);
}

TMqttBroker::~TMqttBroker()
{
    Stop();
}

bool TMqttBroker::Available()
{
    return !Tool(QStringLiteral("mosquitto")).isEmpty() && !Tool(QStringLiteral("mosquitto_sub")).isEmpty()
        && !Tool(QStringLiteral("mosquitto_pub")).isEmpty();
}

bool TMqttBroker::Start(const QString &listener)
{
    if (!FDir.isValid())
        return false;
    if (FPort == 0)
        FPort = FreePort();
    QFile config(FDir.filePath(QStringLiteral("mosquitto.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    const QString access = listener.contains(QLatin1String("allow_anonymous"))
        ? listener : QStringLiteral("allow_anonymous true\n") + listener;
    config.write(QStringLiteral("listener %1 127.0.0.1\n%2\npersistence false\nlog_dest file %3\n")
                     .arg(FPort).arg(access, FDir.filePath(QStringLiteral("mosquitto.log"))).toUtf8());
    config.close();
    FBroker.start(Tool(QStringLiteral("mosquitto")), {QStringLiteral("-c"), config.fileName()});
    if (!FBroker.waitForStarted(5000))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        if (Accepts(FPort))
            return true;
        if (FBroker.state() != QProcess::Running)
            return false;
        SpinEvents(20);
    }
    return false;
}

void TMqttBroker::Stop()
{
    if (FBroker.state() == QProcess::NotRunning)
        return;
    FBroker.terminate();
    if (!FBroker.waitForFinished(5000)) {
        FBroker.kill();
        FBroker.waitForFinished(5000);
    }
}

bool TMqttBroker::Publish(const QString &topic, const QString &payload, bool retain) const
{
    QProcess pub;
    QStringList arguments{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                          QString::number(FPort), QStringLiteral("-q"), QStringLiteral("1"),
                          QStringLiteral("-t"), topic, QStringLiteral("-m"), payload};
    if (retain)
        arguments.append(QStringLiteral("-r"));
    pub.start(Tool(QStringLiteral("mosquitto_pub")), arguments);
    if (!pub.waitForFinished(10000)) {
        pub.kill();
        pub.waitForFinished(2000);
        return false;
    }
    return pub.exitStatus() == QProcess::NormalExit && pub.exitCode() == 0;
}

namespace {

// mosquitto_pub with the message(s) on its standard input.
bool PublishInput(int port, const QString &topic, const QString &mode, const QByteArray &input, int qos)
{
    QProcess pub;
    pub.start(Tool(QStringLiteral("mosquitto_pub")),
              {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(port),
               QStringLiteral("-q"), QString::number(qos), QStringLiteral("-t"), topic, mode});
    if (!pub.waitForStarted(5000))
        return false;
    pub.write(input);
    pub.closeWriteChannel();
    if (!pub.waitForFinished(60000)) {
        pub.kill();
        pub.waitForFinished(2000);
        return false;
    }
    return pub.exitStatus() == QProcess::NormalExit && pub.exitCode() == 0;
}

} // namespace

bool TMqttBroker::PublishBytes(const QString &topic, const QByteArray &payload) const
{
    return PublishInput(FPort, topic, QStringLiteral("-s"), payload, 1);
}

bool TMqttBroker::PublishLines(const QString &topic, const QByteArray &lines) const
{
    return PublishInput(FPort, topic, QStringLiteral("-l"), lines, 0);
}

QStringList TMqttBroker::Retained(const QStringList &patterns, int waitSeconds) const
{
    QProcess sub;
    QStringList arguments{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                          QString::number(FPort), QStringLiteral("-v"), QStringLiteral("--retained-only"),
                          QStringLiteral("-W"), QString::number(waitSeconds)};
    for (const QString &pattern : patterns)
        arguments << QStringLiteral("-t") << pattern;
    sub.start(Tool(QStringLiteral("mosquitto_sub")), arguments);
    if (!sub.waitForFinished((waitSeconds + 10) * 1000)) {
        sub.kill();
        sub.waitForFinished(2000);
    }
    return QString::fromUtf8(sub.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

TMqttSubscriber::TMqttSubscriber(int port, const QStringList &patterns)
{
    QStringList arguments{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                          QString::number(port), QStringLiteral("-v"), QStringLiteral("-q"), QStringLiteral("1")};
    for (const QString &pattern : patterns)
        arguments << QStringLiteral("-t") << pattern;
    FProcess.start(Tool(QStringLiteral("mosquitto_sub")), arguments);
    FStarted = FProcess.waitForStarted(5000);
    // Give it the moment to subscribe before the test acts.
    SpinEvents(300);
}

TMqttSubscriber::~TMqttSubscriber()
{
    if (FProcess.state() != QProcess::NotRunning) {
        FProcess.terminate();
        if (!FProcess.waitForFinished(3000)) {
            FProcess.kill();
            FProcess.waitForFinished(3000);
        }
    }
}

QStringList TMqttSubscriber::Lines()
{
    FPartial += FProcess.readAllStandardOutput();
    const qsizetype end = FPartial.lastIndexOf('\n');
    if (end >= 0) {
        FLines += QString::fromUtf8(FPartial.left(end)).split(u'\n', Qt::SkipEmptyParts);
        FPartial.remove(0, end + 1);
    }
    return FLines;
}

bool TMqttSubscriber::WaitFor(const std::function<bool(const QString &)> &match, int ms, QString *found,
                              qsizetype from)
{
    QElapsedTimer clock;
    clock.start();
    qsizetype checked = from;
    for (;;) {
        const QStringList lines = Lines();
        for (; checked < lines.size(); ++checked) {
            if (match(lines.at(checked))) {
                if (found)
                    *found = lines.at(checked);
                return true;
            }
        }
        if (clock.elapsed() > ms || FProcess.state() == QProcess::NotRunning)
            return false;
        SpinEvents(50);
    }
}

QString TMqttSubscriber::Last(const QString &topic)
{
    const QStringList lines = Lines();
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (lines.at(i).startsWith(topic + u' '))
            return lines.at(i).mid(topic.size() + 1);
    }
    return QString();
}
