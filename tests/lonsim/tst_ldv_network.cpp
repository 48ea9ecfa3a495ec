// The simulated network through the raw C entries of libldv32.so, as a host sees it.
#include "SimHost.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

namespace {

QString fixture(const QString &name)
{
    return QStringLiteral(LONSIM_FIXTURES "/") + name + QStringLiteral(".json");
}

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray out;
    for (int b : list)
        out.append(char(b));
    return out;
}

QByteArray be16(int v)
{
    return bytes({(v >> 8) & 0xFF, v & 0xFF});
}

} // namespace

class TestLdvNetwork : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    int m_copies = 0;

    // A private copy of a fixture, so that each test gets devices nobody else touched.
    QByteArray fresh(const QString &name)
    {
        const QString path = m_dir.filePath(name + QString::number(++m_copies) + QStringLiteral(".json"));
        QFile::copy(fixture(name), path);
        return path.toLocal8Bit();
    }
    QByteArray writeDescription(const QByteArray &json)
    {
        const QString path = m_dir.filePath(QStringLiteral("desc") + QString::number(++m_copies) + QStringLiteral(".json"));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(json);
        return path.toLocal8Bit();
    }
    static Exchange fetch(SimHost &h, int subnet, int node, int index, int domain = 0)
    {
        const QByteArray data = index < 63 ? bytes({index}) : bytes({0xFF}) + be16(index);
        return h.exchange(h.frame(1, SimHost::toNode(domain, subnet, node), 0x73, data));
    }
    static QByteArray fetchValue(SimHost &h, int subnet, int node, int index)
    {
        const Exchange x = fetch(h, subnet, node, index);
        return x.responses.isEmpty() ? QByteArray() : SimHost::dataOf(x.responses.first()).mid(index < 63 ? 1 : 3);
    }
    static QByteArray readFile(SimHost &h, int fileIndex, bool acknowledge, int &packets);

private Q_SLOTS:
    void initTestCase();
    void open_data();
    void open();
    void closeTwiceFails();
    void versionAndNames();
    void localInterface();
    void updateDomainDecidesReachability();
    void queryIdSelection();
    void selfDocumentationServed_data();
    void selfDocumentationServed();
    void querySnvtPastTheEndReadsZeros();
    void fetchEchoesIndexForm_data();
    void fetchEchoesIndexForm();
    void nvConfigSelector_data();
    void nvConfigSelector();
    void updateThroughSelector();
    void authenticatedUpdate_data();
    void authenticatedUpdate();
    void silentDeviceFailsTransaction();
    void doubledAnswers();
    void droppedAnswers();
    void malformedAnswers_data();
    void malformedAnswers();
    void fileTransfer_data();
    void fileTransfer();
    void fileBlockWaitsForAcknowledgement();
    void unsolicitedUpdateArrives();
    void handlesShareDevices();
    void refusesLyingFrames_data();
    void refusesLyingFrames();
    void traceRecordsBothDirections();
    void traceHidesKeys();
    void controlChannel();
};

void TestLdvNetwork::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qunsetenv("LONSIM_TRACE");
    qunsetenv("LONSIM_CONTROL");
    qunsetenv("LONSIM_TIME_SCALE");
}

void TestLdvNetwork::open_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("lonsimPath");
    QTest::addColumn<bool>("opens");
    const QByteArray fixtures = LONSIM_FIXTURES;
    QTest::newRow("built-in") << QByteArray("LON1") << QByteArray() << true;
    QTest::newRow("built-in, any case") << QByteArray("Lon1") << QByteArray() << true;
    // All in lower case it is the LON network device lon1, which this machine does not have.
    QTest::newRow("lon1 is a network device") << QByteArray("lon1") << QByteArray() << false;
    QTest::newRow("unknown") << QByteArray("LON9") << QByteArray() << false;
    QTest::newRow("empty") << QByteArray("") << QByteArray() << false;
    QTest::newRow("path") << fixture(QStringLiteral("small")).toLocal8Bit() << QByteArray() << true;
    QTest::newRow("LONSIM_PATH") << QByteArray("small") << QByteArray("/nonexistent::" + fixtures) << true;
    QTest::newRow("not in LONSIM_PATH") << QByteArray("small") << QByteArray("/nonexistent") << false;
    QTest::newRow("broken JSON") << writeDescription("{\"interface\": ") << QByteArray() << false;
    QTest::newRow("invalid description") << writeDescription(R"({"interface": {"neuronId": "01"}})") << QByteArray() << false;
}

void TestLdvNetwork::open()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, lonsimPath);
    QFETCH(bool, opens);
    qputenv("LONSIM_PATH", lonsimPath);
    short handle = -1;
    const short status = ldv_open(name.constData(), &handle);
    qunsetenv("LONSIM_PATH");
    if (!opens) {
        QVERIFY(status != LDV_OK);
        return;
    }
    QCOMPARE(status, short(LDV_OK));
    QVERIFY(handle > 0);
    QCOMPARE(ldv_close(handle), short(LDV_OK));
}

void TestLdvNetwork::closeTwiceFails()
{
    short handle = -1;
    QCOMPARE(ldv_open("LON1", &handle), short(LDV_OK));
    QCOMPARE(ldv_close(handle), short(LDV_OK));
    QCOMPARE(ldv_close(handle), short(LDV_NOT_OPEN));
    char buffer[64];
    QCOMPARE(ldv_read(handle, buffer, sizeof buffer), short(LDV_NOT_OPEN));
    QCOMPARE(ldv_write(handle, buffer, 17), short(LDV_NOT_OPEN));
}

void TestLdvNetwork::versionAndNames()
{
    QCOMPARE(QByteArray(ldv_get_version()), QByteArray("LonSim 1.0"));
    char out[16];
    std::memset(out, 'x', sizeof out);
    int length = 8;
    QCOMPARE(ldv_xlate_device_name_std("LON1", out, &length), short(LDV_OK));
    QCOMPARE(length, 7);
    QCOMPARE(out[7], '\0');
    QCOMPARE(out[8], 'x');     // nothing beyond the capacity given
    char full[256];
    length = sizeof full;
    QCOMPARE(ldv_xlate_device_name_std("LON1", full, &length), short(LDV_OK));
    QVERIFY(QByteArray(full).startsWith("LON1 (LonSim"));
    length = 0;
    QCOMPARE(ldv_xlate_device_name_std("LON1", full, &length), short(LDV_INVALID_BUF_LEN));
}

void TestLdvNetwork::localInterface()
{
    SimHost h;
    QCOMPARE(h.open("LON1"), short(LDV_OK));
    QByteArray readOnly;
    for (int chunk : {0, 16, 32}) {
        const int count = chunk == 32 ? 3 : 16;
        const Exchange x = h.exchange(h.frame(2, SimHost::local(), 0x6D, bytes({0, 0xF0, chunk, count})));
        QCOMPARE(x.responses.size(), 1);
        QCOMPARE(SimHost::codeOf(x.responses.first()), 0x2D);
        readOnly += SimHost::dataOf(x.responses.first());
    }
    QCOMPARE(readOnly.size(), 35);
    QCOMPARE(readOnly.left(6), bytes({0x05, 0x00, 0x00, 0x4C, 0x10, 0x01}));

    const Exchange q1 = h.exchange(h.frame(2, SimHost::local(), 0x6A, bytes({1})));
    QCOMPARE(q1.responses.size(), 1);
    QCOMPARE(SimHost::codeOf(q1.responses.first()), 0x2A);
    QCOMPARE(SimHost::dataOf(q1.responses.first()), bytes({0x12, 0x34, 0x56, 0, 0, 0, 2, 126, 3, 0, 0, 0, 0, 0, 0}));

    const Exchange bad = h.exchange(h.frame(2, SimHost::local(), 0x6A, bytes({2})));
    QCOMPARE(bad.responses.size(), 1);
    QCOMPARE(SimHost::codeOf(bad.responses.first()), 0x0A);
}

void TestLdvNetwork::updateDomainDecidesReachability()
{
    SimHost h;
    QCOMPARE(h.open(fresh(QStringLiteral("small")).constData()), short(LDV_OK));
    QCOMPARE(fetch(h, 1, 10, 3).completion, 1);     // Thermostat on domain 0 ("4C")
    // Put domain 1's ID into entry 0: the thermostat is no longer reachable there, the meter is.
    const QByteArray update = bytes({0, 0x12, 0x34, 0x56, 0, 0, 0, 2, 0x80 | 126, 3, 0, 0, 0, 0, 0, 0});
    const Exchange u = h.exchange(h.frame(2, SimHost::local(), 0x63, update));
    QCOMPARE(u.responses.size(), 1);
    QCOMPARE(SimHost::codeOf(u.responses.first()), 0x23);
    QCOMPARE(fetch(h, 1, 10, 3).completion, 2);
    QCOMPARE(fetch(h, 2, 30, 0).completion, 1);
    const Exchange q = h.exchange(h.frame(2, SimHost::local(), 0x6A, bytes({0})));
    QCOMPARE(SimHost::dataOf(q.responses.first()).left(9), bytes({0x12, 0x34, 0x56, 0, 0, 0, 2, 126, 3}));
}

void TestLdvNetwork::queryIdSelection()
{
    SimHost h;
    QCOMPARE(h.open(fresh(QStringLiteral("faults")).constData()), short(LDV_OK));
    // Nobody is selected yet: no answers, and the broadcast fails like any unanswered request.
    Exchange x = h.exchange(h.frame(1, SimHost::broadcast(0), 0x61, bytes({1})));
    QVERIFY(x.responses.isEmpty());
    QCOMPARE(x.completion, 2);

    x = h.exchange(h.frame(1, SimHost::broadcast(0), 0x62, bytes({1})));
    QCOMPARE(x.completion, 1);
    x = h.exchange(h.frame(1, SimHost::broadcast(0), 0x61, bytes({1})));
    QCOMPARE(x.completion, 1);
    QSet<QByteArray> ids;
    for (const QByteArray &r : x.responses) {
        QCOMPARE(SimHost::codeOf(r), 0x21);
        QCOMPARE(SimHost::dataOf(r).size(), 14);
        ids.insert(SimHost::dataOf(r).left(6));
    }
    // Seven devices answer on domain 0 (Quiet is silent, Chatter is on domain 1); Echo twice.
    QCOMPARE(ids.size(), 7);
    QCOMPARE(x.responses.size(), 8);
    const QByteArray slow = bytes({5, 0, 0, 0, 1, 19});
    QVERIFY(ids.contains(slow));
    QCOMPARE(SimHost::dataOf(x.responses.last()).left(6), slow);    // the delayed answer comes last

    x = h.exchange(h.frame(1, SimHost::toNeuronId(0, slow), 0x62, bytes({0})));
    QCOMPARE(x.completion, 1);
    x = h.exchange(h.frame(1, SimHost::broadcast(0), 0x61, bytes({1})));
    QCOMPARE(x.responses.size(), 7);
    for (const QByteArray &r : x.responses)
        QVERIFY(SimHost::dataOf(r).left(6) != slow);

    // A device that ignores Respond to Query [0] keeps answering.
    h.exchange(h.frame(1, SimHost::broadcast(1), 0x62, bytes({1})));
    const QByteArray chatter = bytes({5, 0, 0, 0, 1, 18});
    h.exchange(h.frame(1, SimHost::toNeuronId(1, chatter), 0x62, bytes({0})));
    x = h.exchange(h.frame(1, SimHost::broadcast(1), 0x61, bytes({1})));
    QCOMPARE(x.responses.size(), 1);
}

void TestLdvNetwork::selfDocumentationServed_data()
{
    QTest::addColumn<int>("node");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("descriptors");
    QTest::addColumn<bool>("inMemory");
    QTest::newRow("version 0") << 20 << 0 << 8 << true;
    QTest::newRow("version 1") << 21 << 1 << 6 << true;
    QTest::newRow("only through Query SNVT") << 22 << 1 << 6 << false;
}

void TestLdvNetwork::selfDocumentationServed()
{
    QFETCH(int, node);
    QFETCH(int, version);
    QFETCH(int, descriptors);
    QFETCH(bool, inMemory);
    SimHost h;
    QCOMPARE(h.open(fresh(QStringLiteral("selfdoc")).constData()), short(LDV_OK));
    const auto readMemory = [&](int address, int count) {
        const Exchange x = h.exchange(h.frame(1, SimHost::toNode(0, 1, node), 0x6D,
                                              bytes({0}) + be16(address) + bytes({count})));
        return x.responses.isEmpty() ? QByteArray() : x.responses.first();
    };
    const QByteArray ro = SimHost::dataOf(readMemory(0xF00B, 2));
    QCOMPARE(ro, inMemory ? bytes({0x40, 0x00}) : bytes({0xFF, 0xFF}));

    QByteArray bySnvt;
    for (int offset = 0; offset < 2 || offset < ((uint8_t(bySnvt[0]) << 8) | uint8_t(bySnvt[1])); offset += 16) {
        const Exchange x = h.exchange(h.frame(1, SimHost::toNode(0, 1, node), 0x72, be16(offset) + bytes({16})));
        QCOMPARE(x.completion, 1);
        QCOMPARE(SimHost::codeOf(x.responses.first()), 0x32);
        bySnvt += SimHost::dataOf(x.responses.first());
    }
    const int total = (uint8_t(bySnvt[0]) << 8) | uint8_t(bySnvt[1]);
    // Memory goes on after the self-documentation: the last read's rest is zeros.
    QCOMPARE(bySnvt.mid(total), QByteArray(bySnvt.size() - total, '\0'));
    QCOMPARE(int(uint8_t(bySnvt[2])), descriptors);
    QCOMPARE(int(uint8_t(bySnvt[3])), version);
    QVERIFY(bySnvt.contains(QByteArray("nvoArr")));

    const QByteArray first = readMemory(0x4000, 16);
    QCOMPARE(SimHost::codeOf(first), inMemory ? 0x2D : 0x0D);
    if (inMemory)
        QCOMPARE(SimHost::dataOf(first), bySnvt.left(16));
}

// Reads past the end of the self-documentation get the memory after it (zeros), as on a
// real device; only the end of the 64 KiB address space and reads of more than 64 bytes
// fail.
void TestLdvNetwork::querySnvtPastTheEndReadsZeros()
{
    SimHost h;
    QCOMPARE(h.open(fresh(QStringLiteral("selfdoc")).constData()), short(LDV_OK));
    const Exchange head = h.exchange(h.frame(1, SimHost::toNode(0, 1, 22), 0x72, bytes({0, 0, 2})));
    const QByteArray d = SimHost::dataOf(head.responses.first());
    const int total = (uint8_t(d[0]) << 8) | uint8_t(d[1]);
    const Exchange last = h.exchange(h.frame(1, SimHost::toNode(0, 1, 22), 0x72, be16(total - 4) + bytes({4})));
    QCOMPARE(SimHost::codeOf(last.responses.first()), 0x32);
    const Exchange past = h.exchange(h.frame(1, SimHost::toNode(0, 1, 22), 0x72, be16(total - 4) + bytes({6})));
    QCOMPARE(past.responses.size(), 1);
    QCOMPARE(SimHost::codeOf(past.responses.first()), 0x32);
    QCOMPARE(SimHost::dataOf(past.responses.first()), SimHost::dataOf(last.responses.first()) + bytes({0, 0}));
    const Exchange beyond = h.exchange(h.frame(1, SimHost::toNode(0, 1, 22), 0x72, be16(0xFFF0) + bytes({17})));
    QCOMPARE(SimHost::codeOf(beyond.responses.first()), 0x12);
    const Exchange tooLong = h.exchange(h.frame(1, SimHost::toNode(0, 1, 22), 0x72, be16(0) + bytes({65})));
    QCOMPARE(SimHost::codeOf(tooLong.responses.first()), 0x12);
}

void TestLdvNetwork::fetchEchoesIndexForm_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("short 5") << bytes({5}) << bytes({5}) + be16(1005);
    QTest::newRow("short 62") << bytes({62}) << bytes({62}) + be16(1062);
    QTest::newRow("escaped 63") << bytes({0xFF, 0, 63}) << bytes({0xFF, 0, 63}) + be16(1063);
    QTest::newRow("escaped 5") << bytes({0xFF, 0, 5}) << bytes({0xFF, 0, 5}) + be16(1005);
    QTest::newRow("escaped 70, after the array") << bytes({0xFF, 0, 70}) << bytes({0xFF, 0, 70}) + be16(4242);
    QTest::newRow("no such index") << bytes({0xFF, 0, 71}) << QByteArray();
    QTest::newRow("escape cut short") << bytes({0xFF, 0}) << QByteArray();
}

void TestLdvNetwork::fetchEchoesIndexForm()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    SimHost h;
    QCOMPARE(h.open(fresh(QStringLiteral("selfdoc")).constData()), short(LDV_OK));
    const Exchange x = h.exchange(h.frame(1, SimHost::toNode(0, 1, 23), 0x73, request));
    QCOMPARE(x.completion, 1);
    QCOMPARE(x.responses.size(), 1);
    QCOMPARE(SimHost::codeOf(x.responses.first()), answer.isEmpty() ? 0x13 : 0x33);
    QCOMPARE(SimHost::dataOf(x.responses.first()), answer);
    QCOMPARE(uint8_t(x.responses.first()[2]) & 0x0F, uint8_t(request.isEmpty() ? 0 : h.tag));
}

void TestLdvNetwork::nvConfigSelector_data()
{
    QTest::addColumn<QByteArray>("network");
    QTest::addColumn<int>("subnet");
    QTest::addColumn<int>("node");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("config");
    QTest::newRow("unbound output 3") << QByteArray("LON1") << 1 << 40 << bytes({3}) << bytes({0x40 | 0x3F, 0xFC, 0x0F});
    QTest::newRow("unbound input 1") << QByteArray("LON1") << 1 << 10 << bytes({1}) << bytes({0x3F, 0xFE, 0x0F});
    QTest::newRow("bound output") << QByteArray("LON1") << 1 << 10 << bytes({0}) << bytes({0x41, 0x00, 0x00});
    QTest::newRow("escaped 23") << QByteArray("LON1") << 3 << 5 << bytes({0xFF, 0, 23}) << bytes({0x3F, 0xE8, 0x0F});
}

void TestLdvNetwork::nvConfigSelector()
{
    QFETCH(QByteArray, network);
    QFETCH(int, subnet);
    QFETCH(int, node);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, config);
    SimHost h;
    QCOMPARE(h.open(network.constData()), short(LDV_OK));
    const int domain = subnet == 3 ? 1 : 0;
    const Exchange x = h.exchange(h.frame(1, SimHost::toNode(domain, subnet, node), 0x68, request));
    QCOMPARE(x.responses.size(), 1);
    QCOMPARE(SimHost::codeOf(x.responses.first()), 0x28);
    QCOMPARE(SimHost::dataOf(x.responses.first()).toHex(' '), config.toHex(' '));
}

void TestLdvNetwork::updateThroughSelector()
{
    SimHost h;
    QCOMPARE(h.open(fresh(QStringLiteral("small")).constData()), short(LDV_OK));
    // nviSetpoint, index 3, unbound: selector 0x3FFC.
    const auto update = [&](int selector, const QByteArray &value) {
        return h.exchange(h.frame(1, SimHost::toNode(0, 1, 10), 0x80 | (selector >> 8),
                                  bytes({selector & 0xFF}) + value, 0));
    };
    Exchange x = update(0x3FFC, be16(2300));
    QVERIFY(x.responses.isEmpty());
    QCOMPARE(x.completion, 1);
    QCOMPARE(fetchValue(h, 1, 10, 3), be16(2300));
    // A value of the wrong size is acknowledged but changes nothing; so is an unknown selector.
    QCOMPARE(update(0x3FFC, bytes({1, 2, 3})).completion, 1);
    QCOMPARE(update(0x2000, be16(1)).completion, 1);
    QCOMPARE(fetchValue(h, 1, 10, 3), be16(2300));
    // A write stops a running value change.
    QCOMPARE(update(0x3FFF, be16(1234)).completion, 1);
    QTest::qWait(20);
    QCOMPARE(fetchValue(h, 1, 10, 0), be16(1234));
}

void TestLdvNetwork::authenticatedUpdate_data()
{
    QTest::addColumn<QByteArray>("interfaceKey");   // empty: the interface holds none
    QTest::addColumn<bool>("authenticationBit");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("completion");
    QTest::addColumn<bool>("changes");
    const QByteArray right = "0A1B2C3D4E5F";
    const QByteArray wrong = "0A1B2C3D4E50";
    // nviSetpoint (index 0) takes only authenticated updates; nviOffset (1) any.
    QTest::newRow("right key") << right << true << 0 << 1 << true;
    // A wrong reply is acknowledged all the same, but the update is refused.
    QTest::newRow("wrong key") << wrong << true << 0 << 1 << false;
    // No key, no reply: the device neither acts nor answers; the transaction fails.
    QTest::newRow("no key") << QByteArray() << true << 0 << 2 << false;
    QTest::newRow("without the bit") << right << false << 0 << 1 << false;
    QTest::newRow("plain variable, wrong key") << wrong << true << 1 << 1 << true;
    QTest::newRow("plain variable, without the bit") << QByteArray() << false << 1 << 1 << true;
}

void TestLdvNetwork::authenticatedUpdate()
{
    QFETCH(QByteArray, interfaceKey);
    QFETCH(bool, authenticationBit);
    QFETCH(int, index);
    QFETCH(int, completion);
    QFETCH(bool, changes);
    QFile file(fixture(QStringLiteral("auth")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray json = file.readAll();
    json.replace("\"node\": 126, \"key\": \"0A1B2C3D4E5F\"",
                 interfaceKey.isEmpty() ? QByteArray("\"node\": 126") : "\"node\": 126, \"key\": \"" + interfaceKey + '"');
    SimHost h;
    QCOMPARE(h.open(writeDescription(json).constData()), short(LDV_OK));
    const QByteArray before = fetchValue(h, 1, 12, index);
    QCOMPARE(before.size(), 2);
    QByteArray update = h.frame(1, SimHost::toNode(0, 1, 12), 0xBF, bytes({0xFF - index}) + be16(2345), 0);
    if (authenticationBit)
        update[2] = char(update[2] | 0x10);
    QCOMPARE(h.exchange(update).completion, completion);
    QCOMPARE(fetchValue(h, 1, 12, index), changes ? be16(2345) : before);
}

void TestLdvNetwork::silentDeviceFailsTransaction()
{
    SimHost h;
    QCOMPARE(h.open(fresh(QStringLiteral("faults")).constData()), short(LDV_OK));
    const Exchange quiet = fetch(h, 1, 11, 0);
    QVERIFY(quiet.responses.isEmpty());
    QCOMPARE(quiet.completion, 2);
    const Exchange nobody = fetch(h, 1, 99, 0);
    QCOMPARE(nobody.completion, 2);
    const Exchange ack = h.exchange(h.frame(1, SimHost::toNode(0, 1, 11), 0xBF, bytes({0xFE, 0, 0}), 0));
    QCOMPARE(ack.completion, 2);
}

void TestLdvNetwork::doubledAnswers()
{
    SimHost h;
    QCOMPARE(h.open(fresh(QStringLiteral("faults")).constData()), short(LDV_OK));
    const Exchange x = fetch(h, 1, 12, 0);
    QCOMPARE(x.responses.size(), 2);
    QCOMPARE(x.responses.at(0), x.responses.at(1));
    QCOMPARE(x.completion, 1);
}

void TestLdvNetwork::droppedAnswers()
{
    SimHost h;
    QCOMPARE(h.open(fresh(QStringLiteral("faults")).constData()), short(LDV_OK));
    QList<int> completions;
    for (int i = 0; i < 4; ++i)
        completions.append(fetch(h, 1, 13, 0).completion);
    QCOMPARE(completions, QList<int>({1, 2, 1, 2}));
}

void TestLdvNetwork::malformedAnswers_data()
{
    QTest::addColumn<int>("node");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("claimedData");   // byte 4 - 1
    QTest::addColumn<int>("frameLength");   // byte 1 + 2
    QTest::newRow("wrong length") << 14 << 0x33 << 2 << 19;
    QTest::newRow("wrong code") << 15 << 0x32 << 3 << 20;
    QTest::newRow("lying length") << 16 << 0x33 << 43 << 60;
    QTest::newRow("oversized") << 17 << 0x33 << 240 << 257;
}

void TestLdvNetwork::malformedAnswers()
{
    QFETCH(int, node);
    QFETCH(int, code);
    QFETCH(int, claimedData);
    QFETCH(int, frameLength);
    SimHost h;
    QCOMPARE(h.open(fresh(QStringLiteral("faults")).constData()), short(LDV_OK));
    QCOMPARE(h.write(h.frame(1, SimHost::toNode(0, 1, node), 0x73, bytes({0}))), short(LDV_OK));
    std::vector<uint8_t> buffer(1024, 0xAA);
    QByteArray got;
    for (int i = 0; i < 500 && got.isEmpty(); ++i) {
        if (ldv_read(h.handle, buffer.data(), 1024) == LDV_OK)
            got = QByteArray(reinterpret_cast<const char *>(buffer.data()), 1024);
        else
            QThread::msleep(2);
    }
    QVERIFY(!got.isEmpty());
    QCOMPARE(SimHost::codeOf(got), code);
    QCOMPARE(uint8_t(got[4]) - 1, claimedData);
    QCOMPARE(uint8_t(got[1]) + 2, frameLength);
    if (claimedData == 43)
        QCOMPARE(uint8_t(got[20]), uint8_t(0xAA));     // the frame really ends after 20 bytes
}

QByteArray TestLdvNetwork::readFile(SimHost &h, int fileIndex, bool acknowledge, int &packets)
{
    const QByteArray request = bytes({0, fileIndex >> 8, fileIndex & 0xFF, 7, 0xD0, 1, 126, 2, 10, 1, 0, 0});
    const Exchange u = h.exchange(h.frame(1, SimHost::toNode(0, 1, 30), 0xBF, bytes({0xFF}) + request, 0));
    if (u.completion != 1)
        return "update failed";
    QByteArray file;
    int block = 0, packet = 0;
    packets = 0;
    for (;;) {
        const QByteArray r = h.read(acknowledge ? 3000 : 400);
        if (r.isEmpty())
            return file;
        ++packets;
        if (uint8_t(r[0]) != 0x18 || SimHost::codeOf(r) != 0x3E || (uint8_t(r[7]) & 0x7F) != 30)
            return "unexpected frame " + r.toHex(' ');
        const int q = uint8_t(r[17]);
        const QByteArray data = r.mid(18);
        if (q != ((block << 4) | packet))
            return file + " out of sequence: " + QByteArray::number(q, 16);
        file += data;
        if ((q & 0x0F) == 5 && acknowledge) {
            QByteArray ack = bytes({0x12, 0x0F, (uint8_t(r[2]) & 0x0F) | 0x60, 0x01, 0x01, 0x02, 1, 126 | 0x80,
                                    1, 30 | 0x80, 0, 0, 0, 0, 0, 0, 6});
            if (h.write(ack) != LDV_OK)
                return "ack refused";
        }
        if (data.size() < 32)
            return file;
        if (++packet == 6) {
            packet = 0;
            block = (block + 1) & 0x0F;
            if (!acknowledge)
                return file;
        }
    }
}

void TestLdvNetwork::fileTransfer_data()
{
    QTest::addColumn<int>("fileIndex");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("packets");
    const auto counting = [](int size) {
        QByteArray b(size, '\0');
        for (int i = 0; i < size; ++i)
            b[i] = char(i & 0xFF);
        return b;
    };
    QTest::newRow("500 bytes, three blocks") << 0 << counting(500) << 16;
    QTest::newRow("one whole block, then an empty packet") << 1 << counting(192) << 7;
    QTest::newRow("empty file") << 2 << QByteArray() << 1;
    QTest::newRow("1000 bytes, six blocks") << 3 << counting(1000) << 32;
    QTest::newRow("text") << 4 << QByteArray("Event log\n2024-03-15 08:30 boiler 2 alarm\n") << 2;
}

void TestLdvNetwork::fileTransfer()
{
    QFETCH(int, fileIndex);
    QFETCH(QByteArray, expected);
    QFETCH(int, packets);
    SimHost h;
    QCOMPARE(h.open(fresh(QStringLiteral("files")).constData()), short(LDV_OK));
    int seen = 0;
    QCOMPARE(readFile(h, fileIndex, true, seen), expected);
    QCOMPARE(seen, packets);
}

void TestLdvNetwork::fileBlockWaitsForAcknowledgement()
{
    SimHost h;
    QCOMPARE(h.open(fresh(QStringLiteral("files")).constData()), short(LDV_OK));
    int seen = 0;
    QCOMPARE(readFile(h, 0, false, seen).size(), 192);
    QCOMPARE(seen, 6);
    // Without an acknowledgement the block's last packet comes again, then the device gives up.
    QList<int> resent;
    for (QByteArray r = h.read(1000); !r.isEmpty(); r = h.read(1000))
        resent.append(uint8_t(r[17]));
    QCOMPARE(resent, QList<int>({0x05, 0x05}));
}

void TestLdvNetwork::unsolicitedUpdateArrives()
{
    const QByteArray path = writeDescription(R"({"interface": {"neuronId": "05:00:00:00:00:01",
        "domains": [{"id": "4C", "subnet": 1, "node": 126}]},
      "devices": [{"name": "Sensor", "neuronId": "05:00:00:00:00:07", "domains": [{"id": "4C", "subnet": 1, "node": 7}],
        "variables": [{"name": "nvoTemp", "snvt": 105, "direction": "out", "value": {"s16": 2150},
                       "selector": 4660, "unsolicitedMs": 30}]}]})");
    SimHost h;
    QCOMPARE(h.open(path.constData()), short(LDV_OK));
    QTest::qWait(60);
    const Exchange x = fetch(h, 1, 7, 0);
    QCOMPARE(x.completion, 1);
    QVERIFY(!x.others.isEmpty());
    const QByteArray u = x.others.first();
    QCOMPARE(uint8_t(u[0]), uint8_t(0x18));
    QCOMPARE(SimHost::codeOf(u), 0x80 | 0x12);
    QCOMPARE(SimHost::dataOf(u), bytes({0x34}) + be16(2150));
    QCOMPARE(uint8_t(u[7]) & 0x7F, 7);
}

void TestLdvNetwork::handlesShareDevices()
{
    const QByteArray path = fresh(QStringLiteral("small"));
    SimHost a, b;
    QCOMPARE(a.open(path.constData()), short(LDV_OK));
    QCOMPARE(b.open(path.constData()), short(LDV_OK));
    QVERIFY(a.handle != b.handle);
    QCOMPARE(a.exchange(a.frame(1, SimHost::toNode(0, 1, 10), 0xBF, bytes({0xFC}) + be16(1999), 0)).completion, 1);
    QCOMPARE(b.read(50), QByteArray());     // a's answers stay in a's queue
    QCOMPARE(fetchValue(b, 1, 10, 3), be16(1999));
}

void TestLdvNetwork::refusesLyingFrames_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("length");
    SimHost h;
    const QByteArray good = h.frame(1, SimHost::toNode(0, 1, 10), 0x73, bytes({0}));
    QByteArray longer = good;
    longer[1] = char(uint8_t(longer[1]) + 10);
    QByteArray shorter = good;
    shorter[4] = char(1);
    QTest::newRow("byte 1 claims more") << longer << int(good.size());
    QTest::newRow("byte 4 claims less") << shorter << int(good.size());
    QTest::newRow("length beyond the frame's bytes") << good << int(good.size()) - 1;
    QTest::newRow("shorter than a header") << good.left(10) << 10;
    QByteArray huge(300, '\0');
    huge[1] = char(255);
    huge[4] = char(241);
    QTest::newRow("longer than any frame") << huge << 300;
}

void TestLdvNetwork::refusesLyingFrames()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, length);
    SimHost h;
    QCOMPARE(h.open("LON1"), short(LDV_OK));
    // An exact-size copy, so that reading past `length` bytes is caught by the sanitizers.
    auto exact = std::make_unique<uint8_t[]>(std::size_t(length));
    std::memcpy(exact.get(), frame.constData(), std::size_t(std::min<int>(length, int(frame.size()))));
    QCOMPARE(ldv_write(h.handle, exact.get(), short(length)), short(LDV_INVALID_BUF_LEN));
    QCOMPARE(h.read(100), QByteArray());
    QCOMPARE(ldv_write(h.handle, nullptr, 17), short(LDV_INVALID_BUF_LEN));
}

void TestLdvNetwork::traceRecordsBothDirections()
{
    const QString trace = m_dir.filePath(QStringLiteral("trace.txt"));
    qputenv("LONSIM_TRACE", trace.toLocal8Bit());
    {
        SimHost h;
        QCOMPARE(h.open("LON1"), short(LDV_OK));
        const QByteArray f = h.frame(2, SimHost::local(), 0x6A, bytes({0}));
        QCOMPARE(h.exchange(f).responses.size(), 1);
        QCOMPARE(h.write(f.left(f.size() - 1)), short(LDV_INVALID_BUF_LEN));
    }
    qunsetenv("LONSIM_TRACE");
    QFile file(trace);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QVERIFY(lines.size() >= 3);
    QVERIFY(lines.at(0).contains(" write 22 10 "));
    QVERIFY(lines.at(0).endsWith(" 6A 00"));
    QVERIFY(lines.at(1).contains(" read 16 1E "));
    QVERIFY(lines.at(2).contains(" refused 22 10 "));
    QVERIFY(QDateTime::fromString(QString::fromLatin1(lines.at(0).split(' ').at(0)), Qt::ISODateWithMs).isValid());
}

// The domain key in Query Domain's answer and in Update Domain: first byte only.
void TestLdvNetwork::traceHidesKeys()
{
    const QString trace = m_dir.filePath(QStringLiteral("keys.txt"));
    qputenv("LONSIM_TRACE", trace.toLocal8Bit());
    {
        SimHost h;
        QCOMPARE(h.open(fresh(QStringLiteral("auth")).constData()), short(LDV_OK));
        const Exchange q = h.exchange(h.frame(2, SimHost::local(), 0x6A, bytes({0})));
        QCOMPARE(q.responses.size(), 1);
        QCOMPARE(SimHost::dataOf(q.responses.first()).right(6), QByteArray::fromHex("0A1B2C3D4E5F"));
        const QByteArray update = bytes({0, 0x4C, 0, 0, 0, 0, 0, 1, 0x80 | 126, 1, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6});
        QCOMPARE(h.exchange(h.frame(2, SimHost::local(), 0x63, update)).responses.size(), 1);
    }
    qunsetenv("LONSIM_TRACE");
    QFile file(trace);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.contains(" 01 0A ** ** ** ** **\n"), text.constData());
    QVERIFY2(text.contains(" FE 01 A1 ** ** ** ** **\n"), text.constData());
    QVERIFY(!text.contains("1B 2C") && !text.contains("B2 C3"));
}

void TestLdvNetwork::controlChannel()
{
    QTemporaryDir control;
    qputenv("LONSIM_CONTROL", control.path().toLocal8Bit());
    const QByteArray path = fresh(QStringLiteral("small"));
    SimHost h;
    QCOMPARE(h.open(path.constData()), short(LDV_OK));
    fetch(h, 1, 10, 3);
    fetch(h, 1, 10, 3);
    const auto command = [&](const QByteArray &text) {
        QFile f(control.filePath(QStringLiteral("t.cmd")));
        f.open(QIODevice::WriteOnly);
        f.write(text);
        f.close();
        const QString done = control.filePath(QStringLiteral("t.done"));
        for (int i = 0; i < 200 && !QFile::exists(done); ++i)
            h.read(5);
        QFile result(done);
        result.open(QIODevice::ReadOnly);
        const QByteArray out = result.readAll();
        result.remove();
        return out;
    };
    QCOMPARE(command("silent Thermostat\nset Thermostat 3 0BB8\nset Thermostat 3 01\nfrobnicate Thermostat\n"),
             QByteArray("silent Thermostat => ok\nset Thermostat 3 0BB8 => ok\n"
                        "set Thermostat 3 01 => error: the value must be 2 bytes in hex\n"
                        "frobnicate Thermostat => error: unknown command frobnicate\n"));
    QCOMPARE(fetch(h, 1, 10, 3).completion, 2);

    QFile stateFile(control.filePath(QStringLiteral("state.json")));
    QVERIFY(stateFile.open(QIODevice::ReadOnly));
    const QJsonObject networks = QJsonDocument::fromJson(stateFile.readAll()).object().value("networks").toObject();
    stateFile.close();
    const QJsonObject thermostat = networks.value(QString::fromLocal8Bit(path)).toObject()
                                       .value("devices").toObject().value("Thermostat").toObject();
    QCOMPARE(thermostat.value("silent").toBool(), true);
    QCOMPARE(thermostat.value("counts").toObject().value("fetch").toInt(), 2);
    QCOMPARE(thermostat.value("values").toObject().value("3").toString(), QStringLiteral("0BB8"));

    QCOMPARE(command("answer Thermostat\n"), QByteArray("answer Thermostat => ok\n"));
    QCOMPARE(fetchValue(h, 1, 10, 3), be16(3000));
    qunsetenv("LONSIM_CONTROL");
}

QTEST_GUILESS_MAIN(TestLdvNetwork)
#include "tst_ldv_network.moc"
