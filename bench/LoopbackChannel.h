#pragma once
// lonsim-channel serving a network on a loopback unicast IP-852 channel, and an interfaces
// file (named by LDV_INTERFACES) whose entry LONIP reaches it; for the benchmarks that
// measure the driver's side over a real channel.

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUdpSocket>

struct TLoopbackChannel
{
    QProcess Process;

    // Starts the server for network (LON1, or a description file) in program; false when it
    // did not announce itself.
    bool Start(const QString &program, const QString &network, const QTemporaryDir &dir)
    {
        QUdpSocket probe;
        probe.bind(QHostAddress::LocalHost, 0);
        const quint16 hostPort = probe.localPort();
        probe.close();
        Process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        Process.start(program, {"--network", network, "--mode", "unicast", "--listen", "127.0.0.1:0", "--member",
                                QStringLiteral("127.0.0.1:%1").arg(hostPort)});
        if (!Process.waitForReadyRead(20000))
            return false;
        const auto match =
            QRegularExpression(QStringLiteral(" on 127.0.0.1:([0-9]+) ")).match(QString::fromUtf8(Process.readLine()));
        if (!match.hasMatch())
            return false;
        QFile file(dir.filePath(QStringLiteral("interfaces.json")));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QStringLiteral(R"({"interfaces": [{"name": "LONIP", "type": "ip852", "mode": "unicast",
            "localAddress": "127.0.0.1", "localPort": %1, "members": ["127.0.0.1:%2"],
            "neuronId": "05:00:00:4C:10:01", "domains": [{"id": "4C", "subnet": 1, "node": 126}]}]})")
                       .arg(hostPort)
                       .arg(match.captured(1))
                       .toUtf8());
        file.close();
        qputenv("LDV_INTERFACES", QFile::encodeName(file.fileName()));
        return true;
    }
    ~TLoopbackChannel()
    {
        Process.terminate();
        Process.waitForFinished(5000);
    }
};
