// The table of interfaces: the interfaces file's format and its refusals, where it is
// looked for, and ldv_open/ldv_xlate_device_name_std resolving names through it.
#include "ldv/InterfaceTable.h"
#include "ldv/ldv32.h"

#include <QtTest>

using namespace ldv;

namespace {

const QString Fixture = QStringLiteral(LDV_INTERFACE_FIXTURES "/interfaces.json");

QByteArray withEntry(const QString &entry)
{
    return QStringLiteral("{\"interfaces\": [%1]}").arg(entry).toUtf8();
}

const QString Multicast = QStringLiteral(
    "{\"name\": \"A\", \"type\": \"ip852\", \"neuronId\": \"010203040506\", "
    "\"domains\": [{\"id\": \"4C\", \"subnet\": 1, \"node\": 126}]%1}");

// The multicast entry with other domains.
QString MulticastWith(const QString &domains)
{
    return QStringLiteral("{\"name\": \"A\", \"type\": \"ip852\", \"neuronId\": \"010203040506\", \"domains\": %1}")
        .arg(domains);
}

} // namespace

class TestIp852Interfaces : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        qunsetenv("LDV_INTERFACES");
        qputenv("XDG_CONFIG_HOME", QByteArray("/nonexistent-config"));
    }

    void fixtureParses()
    {
        QFile file(Fixture);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const InterfaceTable t = parseInterfaceTable(file.readAll(), Fixture);
        QVERIFY2(t.ok(), qPrintable(t.error));
        QCOMPARE(t.entries.size(), 4);
        const InterfaceEntry *plant = t.find(QStringLiteral("plant"));
        QVERIFY(plant);
        QCOMPARE(plant->kind, InterfaceEntry::Simulated);
        QCOMPARE(plant->network, QFileInfo(QStringLiteral(LDV_INTERFACE_FIXTURES "/../networks/small.json")).absoluteFilePath());
        QCOMPARE(t.find(QStringLiteral("DEMO"))->network, QStringLiteral("LON1"));
        const InterfaceEntry *m = t.find(QStringLiteral("LONIP"));
        QCOMPARE(m->ip.mode, IpChannelConfig::Multicast);
        QCOMPARE(m->ip.group.toString(), QStringLiteral("239.192.84.76:1628"));
        QCOMPARE(m->ip.neuronId, (std::array<uint8_t, 6>{2, 0, 0, 0, 0x10, 1}));
        QCOMPARE(m->ip.domains[0].id, QByteArray("\x4C"));
        QCOMPARE(m->ip.domains[0].node, uint8_t(126));
        QCOMPARE(m->ip.domains[1].subnet, uint8_t(0));
        const InterfaceEntry *u = t.find(QStringLiteral("LONIP-U"));
        QCOMPARE(u->ip.mode, IpChannelConfig::Unicast);
        QCOMPARE(u->ip.members.size(), 2);
        QCOMPARE(u->ip.members[1].toString(), QStringLiteral("127.0.0.1:1631"));
        QCOMPARE(u->ip.domains[1].id, QByteArray::fromHex("0a0b0c"));
        QCOMPARE(u->ip.secret.size(), 16);
        QVERIFY(!u->ip.domains[0].hasKey);
        QVERIFY(u->ip.domains[1].hasKey);
        QCOMPARE(u->ip.domains[1].key, QByteArray::fromHex("c3d4e5f60718"));
        // The summary names the key by its first byte only.
        QCOMPARE(u->summary(), QStringLiteral("LonWorks/IP channel, unicast from 127.0.0.1:1629 to 2 member(s), MD5, "
                                              "LonTalk authentication in domain 1 (key C3\u2026)"));
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("why");
        QTest::newRow("not json") << QByteArray("{\"interfaces\": [") << "not JSON";
        QTest::newRow("no list") << QByteArray("{\"names\": []}") << "list \"interfaces\"";
        QTest::newRow("no name") << withEntry("{\"type\": \"simulated\", \"network\": \"LON1\"}") << "a name is needed";
        QTest::newRow("bad type") << withEntry("{\"name\": \"A\", \"type\": \"serial\"}") << ".type";
        QTest::newRow("unknown key") << withEntry(Multicast.arg(", \"colour\": 1")) << "unknown key \"colour\"";
        QTest::newRow("short neuron id") << withEntry(Multicast.arg(", \"neuronId\": \"0102\"").replace("\"neuronId\": \"010203040506\", ", ""))
                                         << "neuronId";
        QTest::newRow("bad mode") << withEntry(Multicast.arg(", \"mode\": \"broadcast\"")) << ".mode";
        QTest::newRow("unicast group") << withEntry(Multicast.arg(", \"mode\": \"multicast\", \"group\": \"10.0.0.1\"")) << "not a multicast";
        QTest::newRow("unicast without members")
            << withEntry(Multicast.arg(", \"mode\": \"unicast\", \"localAddress\": \"127.0.0.1\"")) << ".members";
        QTest::newRow("unicast without address")
            << withEntry(Multicast.arg(", \"mode\": \"unicast\", \"members\": [\"127.0.0.1\"]")) << ".localAddress";
        QTest::newRow("bad member")
            << withEntry(Multicast.arg(", \"mode\": \"unicast\", \"localAddress\": \"127.0.0.1\", \"members\": [\"127.0.0.1:70000\"]"))
            << "bad port";
        QTest::newRow("domain length 2") << withEntry(MulticastWith("[{\"id\": \"0102\", \"subnet\": 1, \"node\": 2}]"))
                                         << "wrong number of bytes";
        QTest::newRow("node 0") << withEntry(MulticastWith("[{\"subnet\": 1, \"node\": 0}]")) << ".node";
        QTest::newRow("three domains")
            << withEntry(MulticastWith("[{\"subnet\": 1, \"node\": 1}, {\"subnet\": 1, \"node\": 2}, {\"subnet\": 1, \"node\": 3}]"))
            << "at most two";
        QTest::newRow("bad secret") << withEntry(Multicast.arg(", \"secret\": \"this secret is far too long\"")) << ".secret";
        // A key of the wrong length or not in hex is refused without being repeated.
        QTest::newRow("key of 7 bytes")
            << withEntry(MulticastWith("[{\"id\": \"4C\", \"subnet\": 1, \"node\": 2, \"key\": \"0A1B2C3D4E5F60\"}]"))
            << "domains[0].key: the value has the wrong number of bytes (6 expected)";
        QTest::newRow("key not hex")
            << withEntry(MulticastWith("[{\"id\": \"4C\", \"subnet\": 1, \"node\": 2, \"key\": \"0A1B2C3D4E5G\"}]"))
            << "domains[0].key: the value is not hex";
        QTest::newRow("twice") << withEntry("{\"name\": \"X\", \"type\": \"simulated\", \"network\": \"LON1\"}, "
                                           "{\"name\": \"x\", \"type\": \"simulated\", \"network\": \"LON1\"}")
                               << "named twice";
    }

    void refusals()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, why);
        const InterfaceTable t = parseInterfaceTable(json, QStringLiteral("/tmp/x.json"));
        QVERIFY(!t.ok());
        QVERIFY2(t.error.contains(why), qPrintable(t.error));
        QVERIFY2(!t.error.contains(QStringLiteral("1B2C3D")), qPrintable(t.error));
        QVERIFY(t.error.startsWith(QStringLiteral("/tmp/x.json")));
        QVERIFY(t.entries.isEmpty());
    }

    void whereTheFileIsLooked()
    {
        QTemporaryDir dir;
        QVERIFY(interfacesFilePath().isEmpty());
        QVERIFY(loadInterfaceTable().ok());
        QDir(dir.path()).mkpath(QStringLiteral("lonworks"));
        QFile::copy(Fixture, dir.filePath(QStringLiteral("lonworks/interfaces.json")));
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
        QCOMPARE(interfacesFilePath(), dir.filePath(QStringLiteral("lonworks/interfaces.json")));
        qputenv("LDV_INTERFACES", QByteArray("/nonexistent/interfaces.json"));
        QCOMPARE(interfacesFilePath(), QStringLiteral("/nonexistent/interfaces.json"));
        QVERIFY(!loadInterfaceTable().ok());
    }

    void openThroughTheTable()
    {
        qputenv("LDV_INTERFACES", Fixture.toLocal8Bit());
        short handle = -1;
        QCOMPARE(ldv_open("PLANT", &handle), short(LDV_OK));
        QCOMPARE(ldv_close(handle), short(LDV_OK));
        QCOMPARE(ldv_open("demo", &handle), short(LDV_OK));
        QCOMPARE(ldv_close(handle), short(LDV_OK));
        QCOMPARE(ldv_open("LON1", &handle), short(LDV_OK));     // not in the file: the simulator's names still work
        QCOMPARE(ldv_close(handle), short(LDV_OK));
        QCOMPARE(ldv_open("NOSUCH", &handle), short(LDV_NOT_FOUND));

        char out[200];
        int length = sizeof out;
        QCOMPARE(ldv_xlate_device_name_std("LONIP", out, &length), short(LDV_OK));
        QCOMPARE(QString::fromLatin1(out), QStringLiteral("LONIP (LonWorks/IP channel, multicast 239.192.84.76:1628)"));
    }

    void brokenFileFailsEveryOpen()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("interfaces.json"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\"interfaces\": [{\"name\": 1}]}");
        file.close();
        qputenv("LDV_INTERFACES", path.toLocal8Bit());
        short handle = -1;
        QCOMPARE(ldv_open("LON1", &handle), short(LDV_INVALID_DEVICE_ID));
        qunsetenv("LDV_INTERFACES");
        QCOMPARE(ldv_open("LON1", &handle), short(LDV_OK));
        QCOMPARE(ldv_close(handle), short(LDV_OK));
    }

    void unicastPortTaken()
    {
        // Two interfaces cannot own one unicast port: the second open fails and says why.
        ip852::UdpPort holder;
        QString error;
        QVERIFY(holder.bind({0x7F000001, 0}, error));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("interfaces.json"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(withEntry(Multicast.arg(QStringLiteral(", \"mode\": \"unicast\", \"localAddress\": \"127.0.0.1\", "
                                                          "\"localPort\": %1, \"members\": [\"127.0.0.1:2000\"]")
                                               .arg(holder.local().port))));
        file.close();
        qputenv("LDV_INTERFACES", path.toLocal8Bit());
        short handle = -1;
        QCOMPARE(ldv_open("A", &handle), short(LDV_DEVICE_ERR));
    }
};

QTEST_GUILESS_MAIN(TestIp852Interfaces)
#include "tst_ip852_interfaces.moc"
