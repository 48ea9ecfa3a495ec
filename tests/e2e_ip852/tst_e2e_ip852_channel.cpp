// The LonWorks/IP session itself: lonsim-channel's command line and clean stop, the
// driver reading and writing LON1 over a loopback channel in unicast and multicast mode,
// and the captured datagrams checked by an independent CRC walk and by tshark's CN/IP and
// LON dissectors.

#include "PointsSession.h"

#include <QStandardPaths>
#include <QtTest>

#include <csignal>

namespace {

// CRC-16/GENIBUS, bit by bit: the LonTalk frame check, written apart from the codec.
quint16 Crc(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= quint16(quint8(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return quint16(~crc);
}

quint16 Be16(const QByteArray &b, qsizetype at)
{
    return quint16((quint8(b[at]) << 8) | quint8(b[at + 1]));
}

struct Capture {
    int datagrams = 0;
    int frames = 0;
    int badCrc = 0;
    int badWalk = 0;
    QSet<quint16> ports;
};

// Walks the capture file (raw IPv4 records): every IP-852 packet of every datagram, and
// the CRC of every data packet's LonTalk frame.
Capture ReadCapture(const QString &path)
{
    Capture c;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return c;
    const QByteArray all = file.readAll();
    for (qsizetype at = 24; at + 16 <= all.size();) {
        const quint32 length = qFromLittleEndian<quint32>(all.constData() + at + 8);
        const QByteArray ip = all.mid(at + 16, length);
        at += 16 + length;
        if (ip.size() < 28)
            continue;
        ++c.datagrams;
        c.ports << Be16(ip, 20) << Be16(ip, 22);
        const QByteArray d = ip.mid(28);
        for (qsizetype p = 0; p < d.size();) {
            if (p + 20 > d.size() || Be16(d, p) < 20 || p + Be16(d, p) > d.size()) {
                ++c.badWalk;
                break;
            }
            const int size = Be16(d, p);
            const QByteArray body = d.mid(p + 20 + 4 * quint8(d[p + 4]), size - 20 - 4 * quint8(d[p + 4]));
            if (quint8(d[p + 3]) == 0x01) {
                ++c.frames;
                if (body.size() < 3 || Crc(body.chopped(2)) != Be16(body, body.size() - 2))
                    ++c.badCrc;
            }
            p += size + ((quint8(d[p + 5]) & 0x20) ? 16 : 0);
        }
    }
    return c;
}

} // namespace

class TestE2EIp852Channel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void crcReference() { QCOMPARE(Crc("123456789"), quint16(0xD64E)); }

    void programArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no network") << QStringList{"--mode", "unicast"} << 2 << "--network is required";
        QTest::newRow("unicast without members") << QStringList{"--network", "LON1", "--mode", "unicast", "--listen", "127.0.0.1:0"}
                                                 << 2 << "--member";
        QTest::newRow("not a group") << QStringList{"--network", "LON1", "--group", "10.0.0.1"} << 2 << "multicast address";
        QTest::newRow("bad secret") << QStringList{"--network", "LON1", "--secret", "0123456789abcdef0"} << 2 << "--secret";
        QTest::newRow("bad mode") << QStringList{"--network", "LON1", "--mode", "broadcast"} << 2 << "--mode";
        QTest::newRow("unknown network") << QStringList{"--network", "NOSUCH", "--mode", "unicast", "--listen",
                                                        "127.0.0.1:0", "--member", "127.0.0.1:9"}
                                         << 1 << "no network named";
    }

    void programArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QProcess process;
        process.start(TIp852Channel::ProgramPath(), arguments);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), exitCode);
        QVERIFY2(process.readAllStandardError().contains(message.toUtf8()), qPrintable(message));
    }

    // One ready line with the bound port; SIGTERM ends the process normally.
    void readyLineAndCleanStop()
    {
        QProcess process;
        process.start(TIp852Channel::ProgramPath(), {"--network", "LON1", "--mode", "unicast", "--listen",
                                                     "127.0.0.1:0", "--member", "127.0.0.1:9"});
        QVERIFY(process.waitForReadyRead(20000));
        const QString line = QString::fromUtf8(process.readLine());
        QVERIFY2(QRegularExpression(QStringLiteral("^lonsim-channel: ready: LON1 on 127\\.0\\.0\\.1:[1-9][0-9]* \\(unicast\\)\n$"))
                     .match(line).hasMatch(),
                 qPrintable(line));
        ::kill(pid_t(process.processId()), SIGTERM);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }

    void session_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("unicast") << "unicast";
        QTest::newRow("multicast") << "multicast";
    }

    // Reads, a write and a silent device through the driver over the channel; the
    // capture of the unicast session decodes cleanly.
    void session()
    {
        QFETCH(QString, mode);
        qputenv("LW_E2E_IP852_MODE", mode.toUtf8());
        QTemporaryDir dir;
        const QString capture = dir.filePath(QStringLiteral("channel.pcap"));
        TPointsSession session;
        session.Channel.ExtraArguments = {QStringLiteral("--pcap"), capture};
        const bool started = session.Start(0.2);
        qunsetenv("LW_E2E_IP852_MODE");
        if (!started && mode == QLatin1String("multicast") && !session.Channel.Error().isEmpty())
            QSKIP(qPrintable(QStringLiteral("multicast on loopback is not available here: ") + session.Channel.Error()));
        QVERIFY2(started, qPrintable(session.Channel.Error()));

        TDriverClient client;
        QVERIFY(client.Create());
        QVERIFY(OpenLon1(client, QStringLiteral("IP-852 ") + mode));
        const QStringList read = client.Run({"COMMAND=POINTGETVALUE", "POINT={T}{0:1:10:1:105:0:3:105}"}, 200);
        QCOMPARE(read.value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QCOMPARE(Result(read).value(0), QStringLiteral("VALUE=21.5000"));

        const QStringList write = client.Run({"COMMAND=POINTMODIFY", "POINT={S}{0:1:10:1:0:0:3:0,100}{VALUE=22.5}{}{}"}, 200);
        QCOMPARE(write.value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QVERIFY(session.Control({QStringLiteral("network LON1")}).contains(QLatin1String("ok")));
        QCOMPARE(session.Value(QStringLiteral("RoomController"), 1).left(4), QStringLiteral("08CA"));

        QVERIFY(session.Control({QStringLiteral("silent RoomController on")}).contains(QLatin1String("ok")));
        const QStringList silent = client.Run({"COMMAND=POINTGETVALUE", "POINT={T}{0:1:10:1:105:0:3:105}"}, 200);
        QCOMPARE(silent.value(0), QStringLiteral("COMMANDSTATUS=FALSE"));
        QVERIFY(session.Control({QStringLiteral("answer RoomController")}).contains(QLatin1String("ok")));
        QCOMPARE(client.Run({"COMMAND=POINTGETVALUE", "POINT={T}{0:1:10:1:105:0:3:105}"}, 200).value(0),
                 QStringLiteral("COMMANDSTATUS=TRUE"));
        client.Release();
        session.Driver.Stop();
        session.Channel.Stop();

        const Capture c = ReadCapture(capture);
        QVERIFY(c.frames > 4);
        QCOMPARE(c.badWalk, 0);
        QCOMPARE(c.badCrc, 0);
        if (mode != QLatin1String("unicast"))
            return;
        const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
        if (tshark.isEmpty())
            QSKIP("tshark is not installed: the capture was checked by the CRC walk only");
        QStringList decode{QStringLiteral("-r"), capture};
        for (quint16 port : c.ports)
            decode << QStringLiteral("-d") << QStringLiteral("udp.port==%1,cnip").arg(port);
        const auto count = [&](const QString &filter) {
            QProcess process;
            process.start(tshark, decode + QStringList{QStringLiteral("-Y"), filter});
            process.waitForFinished(60000);
            return process.exitCode() == 0 ? int(process.readAllStandardOutput().count('\n')) : -1;
        };
        QCOMPARE(count(QStringLiteral("lon")), c.datagrams);
        QCOMPARE(count(QStringLiteral("_ws.malformed || _ws.expert.severity >= error")), 0);
    }
};

QTEST_MAIN(TestE2EIp852Channel)
#include "tst_e2e_ip852_channel.moc"
