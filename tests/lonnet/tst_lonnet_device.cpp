// libldv32.so on a LON network device: lonsim-usb makes lon0 (a TUN device with packet
// information) in the test's own network namespace, and the library opens it through its
// C entries. The open sequence and a fetch as they pass on the device, byte for byte; the
// kernel's other traffic ignored; an adapter reset; the errors of ldv_open.
#include "PrivateNetwork.h"

#include "ldv/ldv32.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <arpa/inet.h>
#include <linux/capability.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>

namespace {

QByteArray Hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The frames the stand-in saw go down and up on the device, "down <hex>" / "up <hex>".
QStringList LinkTrace(const QString &path)
{
    QFile file(path);
    QStringList lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() >= 3 && words.at(1) == "lon0"
            && (words.at(2) == "down" || words.at(2) == "up" || words.at(2) == "ignored"))
            lines.append(QString::fromLatin1(words.at(2) + ' ' + words.mid(3).join("").toLower()));
    }
    return lines;
}

// The next frame within ms from the handle; empty when none came.
QByteArray ReadFrame(short handle, int ms = 3000)
{
    QElapsedTimer timer;
    timer.start();
    uint8_t buffer[1024];
    do {
        if (ldv_read(handle, buffer, short(sizeof buffer)) == LDV_OK)
            return QByteArray(reinterpret_cast<const char *>(buffer), 2 + buffer[1]);
        QThread::msleep(2);
    } while (timer.elapsed() < ms);
    return {};
}

short Write(short handle, const QByteArray &frame)
{
    return ldv_write(handle, frame.constData(), short(frame.size()));
}

bool SetUp(const char *device, bool up)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, device, IFNAMSIZ - 1);
    bool ok = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    if (ok) {
        request.ifr_flags = short(up ? (request.ifr_flags | IFF_UP) : (request.ifr_flags & ~IFF_UP));
        ok = ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    }
    if (fd >= 0)
        ::close(fd);
    return ok;
}

// Drops CAP_NET_RAW from this thread's effective set while it lives.
class TWithoutNetRaw
{
public:
    TWithoutNetRaw()
    {
        FHeader = {_LINUX_CAPABILITY_VERSION_3, 0};
        ::syscall(SYS_capget, &FHeader, FSaved);
        __user_cap_data_struct reduced[2] = {FSaved[0], FSaved[1]};
        reduced[0].effective &= ~(1u << CAP_NET_RAW);
        ::syscall(SYS_capset, &FHeader, reduced);
    }
    ~TWithoutNetRaw() { ::syscall(SYS_capset, &FHeader, FSaved); }

private:
    __user_cap_header_struct FHeader{};
    __user_cap_data_struct FSaved[2]{};
};

// A fetch of RoomController's nviSetpoint (index 1) at subnet 1 node 10, tag 4: command 1
// queue 2, length, request service and tag, explicit address, code and data length;
// subnet/node address, domain 0 and node, retry 3, transmit timer 5, subnet 1; code 0x73,
// index.
const QByteArray Fetch = Hex("12 10 64 08 02 01 0A 03 05 01 00 00 00 00 00 00 73 01");

} // namespace

class TestLonnetDevice : public QObject
{
    Q_OBJECT

    QTemporaryDir FDir;
    TStandIn FStandIn;
    QString Trace() const { return FDir.filePath(QStringLiteral("trace.txt")); }
    bool StartStandIn(const QStringList &more = {})
    {
        QFile::remove(Trace());
        return FStandIn.Start(QStringList{QStringLiteral("--network"), QStringLiteral("LON1"), QStringLiteral("--trace"), Trace()}
                              + more);
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString why = EnterPrivateNetwork();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(FDir.isValid());
    }
    void cleanup() { FStandIn.Stop(); }

    void openSequenceAndFetchAsOnTheDevice_data()
    {
        QTest::addColumn<QString>("module");
        QTest::addColumn<QStringList>("expected");
        // u61: frames exact, no echo of the mode change. The adapter's Neuron ID read (local
        // network management, read-only relative, 6 bytes) and its answer (queue 6, response
        // bit, code 0x2D and the ID); the fetch, its response from subnet 1 node 10 (our
        // subnet/node in bytes 8/9) and the completion event (the request's bytes with the
        // success bit, code and first data byte), all on queue 6.
        const auto line = [](const char *direction, const char *hex) {
            return QString::fromLatin1(QByteArray(direction) + ' ' + Hex(hex).toHex());
        };
        const QString probe = line("down", "22 13 70 00 05  00 00 00 00 00 00 00 00 00 00 00  6D 01 00 00 06");
        const QString answer = line("up", "16 15 70 01 07  00 01 FE 01 FE 00 00 00 00 00 00  2D 05 00 00 4C 10 01");
        const QString fetch = line("down", "12 10 64 08 02  01 0A 03 05 01 00 00 00 00 00 00  73 01");
        const QString response = line("up", "16 12 64 01 04  00 01 8A 01 FE 00 00 00 00 00 00  33 01 08 66");
        const QString completion = line("up", "16 10 64 18 02  01 0A 03 05 01 00 00 00 00 00 00  73 01");
        QTest::newRow("u61") << QStringLiteral("u61")
                             << QStringList{QStringLiteral("down e50100"), QStringLiteral("down 6000"), probe, answer,
                                            fetch, response, completion};
        // u50: the mode change echoed, one byte more after every frame up.
        QTest::newRow("u50") << QStringLiteral("u50")
                             << QStringList{QStringLiteral("down e50100"), QStringLiteral("up d000*"),
                                            QStringLiteral("down 6000"), probe, answer + QLatin1Char('*'), fetch,
                                            response + QLatin1Char('*'), completion + QLatin1Char('*')};
    }
    void openSequenceAndFetchAsOnTheDevice()
    {
        QFETCH(QString, module);
        QFETCH(QStringList, expected);
        QVERIFY(StartStandIn({QStringLiteral("--module"), module}));
        short handle = -1;
        QCOMPARE(ldv_open("lon0", &handle), short(LDV_OK));
        QCOMPARE(Write(handle, Fetch), short(LDV_OK));
        QCOMPARE(ReadFrame(handle).toHex(), Hex("16 12 64 01 04 00 01 8A 01 FE 00 00 00 00 00 00 33 01 08 66").toHex());
        QCOMPARE(ReadFrame(handle).toHex(), Hex("16 10 64 18 02 01 0A 03 05 01 00 00 00 00 00 00 73 01").toHex());
        QCOMPARE(ldv_close(handle), short(LDV_OK));
        FStandIn.Stop();
        QStringList seen = LinkTrace(Trace());
        seen.removeIf([](const QString &line) { return line.startsWith(QLatin1String("ignored")); });
        QCOMPARE(seen.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            // '*': the serial module's extra byte, whatever it holds.
            if (expected.at(i).endsWith(QLatin1Char('*'))) {
                QCOMPARE(seen.at(i).chopped(2), expected.at(i).chopped(1));
            } else {
                QCOMPARE(seen.at(i), expected.at(i));
            }
        }
    }

    void otherProtocolsOnTheDeviceAreIgnored()
    {
        QVERIFY(StartStandIn());
        short handle = -1;
        QCOMPARE(ldv_open("lon0", &handle), short(LDV_OK));
        // What the kernel sends on a fresh link (IPv6): the adapter never sees it.
        const int fd = ::socket(AF_PACKET, SOCK_DGRAM, htons(0x86DD));
        QVERIFY(fd >= 0);
        sockaddr_ll to{};
        to.sll_family = AF_PACKET;
        to.sll_protocol = htons(0x86DD);
        to.sll_ifindex = int(if_nametoindex("lon0"));
        const QByteArray solicitation = Hex("60 00 00 00 00 08 3A FF") + QByteArray(32, '\0') + Hex("85 00 7B B8 00 00 00 00");
        QCOMPARE(::sendto(fd, solicitation.constData(), std::size_t(solicitation.size()), 0,
                          reinterpret_cast<const sockaddr *>(&to), sizeof to), ssize_t(solicitation.size()));
        ::close(fd);
        QTRY_VERIFY_WITH_TIMEOUT(LinkTrace(Trace()).contains(QStringLiteral("ignored ") + QString::fromLatin1(solicitation.toHex())), 3000);
        QCOMPARE(ReadFrame(handle, 200), QByteArray());
        QCOMPARE(Write(handle, Fetch), short(LDV_OK));
        QCOMPARE(uint8_t(ReadFrame(handle).mid(16, 1).append('\0').at(0)), uint8_t(0x33));
        ldv_close(handle);
    }

    void adapterResetIsAnsweredWithLayer5Again()
    {
        QVERIFY(StartStandIn({QStringLiteral("--module"), QStringLiteral("u61")}));
        short handle = -1;
        QCOMPARE(ldv_open("lon0", &handle), short(LDV_OK));
        FStandIn.Signal(SIGUSR1);
        // The host sees the reset; then the mode goes down again and fetches work.
        QCOMPARE(ReadFrame(handle).toHex(), QByteArray("5000"));
        QTRY_VERIFY_WITH_TIMEOUT(Write(handle, Fetch) == LDV_OK, 3000);
        QCOMPARE(uint8_t(ReadFrame(handle).mid(16, 1).append('\0').at(0)), uint8_t(0x33));
        ldv_close(handle);
        const QStringList seen = LinkTrace(Trace());
        const qsizetype reset = seen.indexOf(QStringLiteral("up 5000"));
        QVERIFY(reset > 0);
        QCOMPARE(seen.value(reset + 1), QStringLiteral("down e50100"));
        QCOMPARE(seen.value(reset + 2), QStringLiteral("down 6000"));
    }

    // Taken down and up again (as the daemon does when it renames a device): the handle
    // fails meanwhile and works again once the device is up.
    void deviceDownAndUpAgain()
    {
        QVERIFY(StartStandIn());
        short handle = -1;
        QCOMPARE(ldv_open("lon0", &handle), short(LDV_OK));
        QVERIFY(SetUp("lon0", false));
        QCOMPARE(Write(handle, Fetch), short(LDV_DEVICE_ERR));
        uint8_t buffer[1024];
        QCOMPARE(ldv_read(handle, buffer, short(sizeof buffer)), short(LDV_DEVICE_ERR));
        QThread::msleep(600);
        QCOMPARE(Write(handle, Fetch), short(LDV_DEVICE_ERR));     // still down: not reopened
        QVERIFY(SetUp("lon0", true));
        QTRY_VERIFY_WITH_TIMEOUT(Write(handle, Fetch) == LDV_OK, 5000);
        QCOMPARE(ReadFrame(handle).mid(16, 1).toHex(), QByteArray("33"));
        char info[300];
        QCOMPARE(ldv_get_debug_info(handle, info, short(sizeof info)), short(LDV_OK));
        QVERIFY2(QByteArray(info).contains("reopened 1;"), info);
        ldv_close(handle);
    }

    // A table entry takes the device's own name; another entry names the device.
    void namesResolveThroughTheTableFirst()
    {
        QVERIFY(StartStandIn());
        const QString table = FDir.filePath(QStringLiteral("interfaces.json"));
        QFile file(table);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"interfaces": [{"name": "lon0", "type": "simulated", "network": "LON1"},
                                      {"name": "PLANT", "type": "lon-device", "device": "lon0"}]})");
        file.close();
        qputenv("LDV_INTERFACES", table.toLocal8Bit());
        const auto translated = [](const char *name) {
            char text[200];
            int length = int(sizeof text);
            ldv_xlate_device_name_std(name, text, &length);
            return QString::fromLatin1(text);
        };
        QCOMPARE(translated("lon0"), QStringLiteral("lon0 (LonSim simulated network: the built-in demonstration network)"));
        QCOMPARE(translated("PLANT"), QStringLiteral("PLANT (LON network device lon0)"));
        short handle = -1;
        QCOMPARE(ldv_open("PLANT", &handle), short(LDV_OK));
        char info[300];
        QCOMPARE(ldv_get_debug_info(handle, info, short(sizeof info)), short(LDV_OK));
        QVERIFY2(QByteArray(info).startsWith("PLANT on LON device lon0: layer 5;"), info);
        ldv_close(handle);

        // lonctl lists the device with what the table does to its name.
        QProcess lonctl;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), FDir.path());
        lonctl.setProcessEnvironment(environment);
        lonctl.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lonctl"),
                     {QStringLiteral("interfaces"), QStringLiteral("--json")});
        QVERIFY(lonctl.waitForFinished(20000));
        const QJsonObject listing = QJsonDocument::fromJson(lonctl.readAllStandardOutput()).object();
        QCOMPARE(listing.value(QStringLiteral("devices")).toArray(),
                 (QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("lon0")},
                                         {QStringLiteral("up"), true},
                                         {QStringLiteral("shadowed"), true}}}));
        lonctl.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lonctl"), {QStringLiteral("interfaces")});
        QVERIFY(lonctl.waitForFinished(20000));
        const QString text = QString::fromUtf8(lonctl.readAllStandardOutput());
        QVERIFY2(text.contains(QStringLiteral("lon0  LON network device, up, also as PLANT, taken by the table's entry")),
                 qPrintable(text));
        qunsetenv("LDV_INTERFACES");
    }

    void openFails_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("status");
        QTest::newRow("no such device") << QStringLiteral("missing") << int(LDV_NOT_FOUND);
        QTest::newRow("device down") << QStringLiteral("down") << int(LDV_DEVICE_ERR);
        QTest::newRow("no CAP_NET_RAW") << QStringLiteral("permission") << int(LDVX_ACCESS_DENIED);
        QTest::newRow("adapter never answers") << QStringLiteral("mute") << int(LDVX_OPEN_FAILED);
    }
    void openFails()
    {
        QFETCH(QString, what);
        QFETCH(int, status);
        if (what != QLatin1String("missing"))
            QVERIFY(StartStandIn(what == QLatin1String("mute") ? QStringList{QStringLiteral("--mute")} : QStringList{}));
        if (what == QLatin1String("down"))
            QVERIFY(SetUp("lon0", false));
        short handle = -1;
        short result = 0;
        if (what == QLatin1String("permission")) {
            TWithoutNetRaw dropped;
            result = ldv_open("lon0", &handle);
        } else {
            result = ldv_open("lon0", &handle);
        }
        QCOMPARE(int(result), status);
        char text[200];
        int length = int(sizeof text);
        const short translated = ldv_xlate_device_name_std("lon0", text, &length);
        QCOMPARE(QString::fromLatin1(text), QStringLiteral("lon0 (LON network device)"));
        QCOMPARE(translated, what == QLatin1String("missing") ? short(LDV_NOT_FOUND) : short(LDV_OK));
    }
};

QTEST_GUILESS_MAIN(TestLonnetDevice)
#include "tst_lonnet_device.moc"
