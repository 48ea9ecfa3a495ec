// Transaction IDs that outlive a handle: the interface's table on a fake clock (a
// destination never gets its last TID back within the hold, and may after it), handles
// opened one after another and side by side through the library's entries, and the state
// file that carries the table to the next run (including files that are not one).

#include "ChannelRig.h"
#include "ldv/ipni/IpNetworkInterface.h"
#include "ldv/tids/InterfaceTids.h"
#include "ldv/tids/TidStateFile.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <sys/stat.h>

using namespace rig;

namespace {

// A host frame: acknowledged, no retries, transmit timer 16 ms, to subnet/node.
QByteArray ackdTo(uint8_t node, uint8_t tag)
{
    return hostFrame(0, tag, toNode(DevSubnet, node, 0, 0), 0x80 | 0x3F, QByteArray::fromHex("FD0001"));
}

// The TIDs of the LonTalk frames that reach the peer within ms.
QList<int> tidsHeard(ip852::UdpPort &peer, int ms = 500)
{
    QList<int> tids;
    QElapsedTimer clock;
    clock.start();
    while (tids.isEmpty() && clock.elapsed() < ms) {
        ip852::Endpoint from;
        while (const auto datagram = peer.receive(from))
            for (const ip852::Packet &p : ip852::parseDatagram(*datagram).packets)
                if (const auto f = ip852::parseFrame(p.body))
                    tids.append(f->tid);
        QThread::msleep(1);
    }
    return tids;
}

ip852::TidTable::Snapshot snapshotWith(const QList<ip852::TidTable::Entry> &entries, uint8_t last = 3)
{
    ip852::TidTable::Snapshot s;
    s.last[0] = last;
    s.entries = entries;
    return s;
}

} // namespace

class TestIp852Tids : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FRuntime;
    int FNames = 0;

    // A unicast interface configuration whose only member is peer.
    static ldv::IpChannelConfig unicastTo(const ip852::UdpPort &peer)
    {
        ldv::IpChannelConfig c;
        c.mode = ldv::IpChannelConfig::Unicast;
        c.localIp = 0x7F000001;
        c.localPort = freePort();
        c.members = {peer.local()};
        c.neuronId = {1, 2, 3, 4, 5, 6};
        c.domains[0] = ldv::IpDomainSetting{Domain, HostSubnet, HostNode};
        return c;
    }

    // One transaction to node through iface on the fake clock: its TID; the transaction
    // then fails (nobody answers) 20 ms later.
    static int transact(ldv::ni::IpNetworkInterface &iface, ip852::UdpPort &peer, int64_t &clock, uint8_t node)
    {
        const QByteArray f = ackdTo(node, 1);
        if (iface.write(reinterpret_cast<const uint8_t *>(f.constData()), int(f.size())) != LDV_OK)
            return -1;
        const QList<int> tids = tidsHeard(peer);
        clock += 20;
        uint8_t buffer[256];
        while (iface.read(buffer, sizeof buffer) == LDV_OK) {
        }
        return tids.size() == 1 ? tids.first() : -1;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(FRuntime.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(FRuntime.path()));
    }

    // Fifteen transactions, one to D then fourteen to others, bring the counter round to
    // D's last TID: inside the hold (24 576 ms, the longest receive timer) it is skipped,
    // from then on D may have it again.
    void holdThroughTheInterface_data()
    {
        QTest::addColumn<int>("afterMs");
        QTest::addColumn<bool>("again");
        QTest::newRow("just inside the hold") << 24575 << false;
        QTest::newRow("hold over") << 24576 << true;
        QTest::newRow("soon after") << 100 << false;
    }
    void holdThroughTheInterface()
    {
        QFETCH(int, afterMs);
        QFETCH(bool, again);
        ip852::UdpPort peer;
        QString error;
        QVERIFY(peer.bind({0x7F000001, 0}, error));
        int64_t clock = 5000;
        ldv::ni::IpNetworkInterface iface(QStringLiteral("HOLD%1").arg(++FNames), unicastTo(peer),
                                          [&clock] { return clock; });
        QVERIFY2(iface.open(error), qPrintable(error));
        const int first = transact(iface, peer, clock, DevNode);
        QVERIFY(first >= 0);
        const int64_t ended = clock;
        for (uint8_t other = 10; other < 24; ++other)
            QVERIFY(transact(iface, peer, clock, other) >= 0);
        clock = ended + afterMs;
        const int later = transact(iface, peer, clock, DevNode);
        QCOMPARE(later == first, again);
    }

    // Handles opened one after another, and two open side by side, on one interface never
    // give the destination the TID it had last.
    void handlesShareTheTable()
    {
        Rig rig;
        QVERIFY(rig.openUnicast());
        ldv_close(rig.handle);
        rig.handle = -1;
        QList<int> tids;
        const auto transactOn = [&](short handle) {
            const QByteArray f = hostFrame(0, 1, toNode(DevSubnet, DevNode, 0, 8), 0x80 | 0x3F, QByteArray::fromHex("FD0001"));
            QCOMPARE(ldv_write(handle, f.constData(), short(f.size())), short(LDV_OK));
            ip852::LonFrame heard;
            bool got = false;
            QElapsedTimer clock;
            clock.start();
            while (!got && clock.elapsed() < 3000) {
                uint8_t buffer[256];
                ldv_read(handle, buffer, sizeof buffer);
                ip852::Endpoint from;
                while (const auto datagram = rig.peer.receive(from))
                    for (const ip852::Packet &p : ip852::parseDatagram(*datagram).packets)
                        if (const auto f = ip852::parseFrame(p.body); f && !got) {
                            heard = *f;
                            got = true;
                        }
                QThread::msleep(1);
            }
            QVERIFY(got);
            tids.append(heard.tid);
            rig.send(Rig::replyTo(heard));     // the ACK ends the transaction
            bool completed = false;
            clock.restart();
            while (!completed && clock.elapsed() < 3000) {
                uint8_t buffer[256];
                if (ldv_read(handle, buffer, sizeof buffer) == LDV_OK)
                    completed = isCompletion(QByteArray(reinterpret_cast<const char *>(buffer), 17));
                QThread::msleep(1);
            }
            QVERIFY(completed);
        };
        for (int round = 0; round < 40; ++round) {
            short handle = -1;
            QCOMPARE(ldv_open("IPTEST", &handle), short(LDV_OK));
            transactOn(handle);
            ldv_close(handle);
            if (QTest::currentTestFailed())
                return;
        }
        short a = -1, b = -1;
        QCOMPARE(ldv_open("IPTEST", &a), short(LDV_OK));
        QCOMPARE(ldv_open("IPTEST", &b), short(LDV_OK));
        for (int round = 0; round < 20 && !QTest::currentTestFailed(); ++round)
            transactOn(round % 2 ? b : a);
        ldv_close(a);
        ldv_close(b);
        for (int i = 1; i < tids.size(); ++i)
            QVERIFY2(tids[i] != tids[i - 1], qPrintable(QStringLiteral("transaction %1 repeats TID %2").arg(i).arg(tids[i])));
    }

    // A later run of the driver finds the table in the state file: the counter goes on,
    // and a destination's TID stays held for what is left of its hold.
    void tableCarriedToTheNextRun()
    {
        const QString path = ldv::tidStatePath(QStringLiteral("Next-Run"));
        QCOMPARE(path, FRuntime.filePath(QStringLiteral("lonworks/tids-next-run.json")));
        const QByteArray d("D"), e("E");
        int64_t now = 1000;
        uint8_t first = 0;
        {
            const auto run = ldv::InterfaceTids::load(path, now);
            first = run->next(d, false, now);
            run->finished(d, false, first, now + 10);
            run->save(now + 10, true);
        }
        QVERIFY(QFileInfo(path).isFile());
        QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadOther | QFile::WriteOther), QFile::Permissions());
        // The next run, on a clock of its own.
        now = 777777;
        const auto next = ldv::InterfaceTids::load(path, now);
        QCOMPARE(next->table().snapshot(now, ldv::InterfaceTids::HoldMs).last[0], first);
        for (int i = 0; i < 14; ++i)
            next->finished(e, false, next->next(e, false, now), now);
        QVERIFY(next->next(d, false, now) != first);
    }

    // What is read from a state file: only entries that make sense, never held longer than
    // the hold; files that are not one are ignored.
    void stateFileRead_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<int>("entries");
        const qint64 wall = QDateTime::currentMSecsSinceEpoch();
        const auto file = [wall](const QByteArray &held, qint64 written = 0) {
            return QByteArray(QByteArray(R"({"format": "lonworks-tids/1", "writtenMs": )") + QByteArray::number(wall + written)
                   + R"(, "last": [4, 2], "held": [)" + held + "]}");
        };
        const QByteArray good = R"({"destination": "01020304", "priority": false, "tid": 5, "remainingMs": 20000})";
        QTest::newRow("one entry") << file(good) << true << 1;
        QTest::newRow("written long ago") << file(good, -30000) << true << 0;
        QTest::newRow("written in the future") << file(good, 3600000) << true << 1;
        QTest::newRow("TID beyond 15") << file(R"({"destination": "01", "priority": false, "tid": 16, "remainingMs": 2000})") << true << 0;
        QTest::newRow("destination not hex") << file(R"({"destination": "0g", "priority": false, "tid": 1, "remainingMs": 2000})") << true << 0;
        QTest::newRow("destination odd") << file(R"({"destination": "012", "priority": false, "tid": 1, "remainingMs": 2000})") << true << 0;
        QTest::newRow("destination too long") << file(R"({"destination": ")" + QByteArray(130, 'a') + R"(", "priority": false, "tid": 1, "remainingMs": 2000})") << true << 0;
        QTest::newRow("priority not a flag") << file(R"({"destination": "01", "priority": 1, "tid": 1, "remainingMs": 2000})") << true << 0;
        QTest::newRow("negative time") << file(R"({"destination": "01", "priority": false, "tid": 1, "remainingMs": -5})") << true << 0;
        QTest::newRow("entry not an object") << file("7, null, \"x\"") << true << 0;
        QTest::newRow("not JSON") << QByteArray("{\"format\": ") << false << 0;
        QTest::newRow("another format") << QByteArray(R"({"format": "lonworks-tids/2", "writtenMs": 1})") << false << 0;
        QTest::newRow("no time written") << QByteArray(R"({"format": "lonworks-tids/1", "held": []})") << false << 0;
        QTest::newRow("a JSON array") << QByteArray("[]") << false << 0;
        QTest::newRow("too large") << QByteArray(file(good) + QByteArray(1 << 20, ' ')) << false << 0;
    }
    void stateFileRead()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, taken);
        QFETCH(int, entries);
        const QString path = FRuntime.filePath(QStringLiteral("read-test.json"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        const auto read = ldv::readTidState(path, 50, ldv::InterfaceTids::HoldMs);
        QCOMPARE(bool(read), taken);
        if (!read)
            return;
        QCOMPARE(read->entries.size(), entries);
        QCOMPARE(read->last[0], uint8_t(4));
        for (const ip852::TidTable::Entry &e : read->entries) {
            QCOMPARE(e.destination, QByteArray::fromHex("01020304"));
            QCOMPARE(e.tid, uint8_t(5));
            QVERIFY(e.until > 50 && e.until <= 50 + 20000);
        }
    }

    // A symlink or a FIFO in the file's place is never read through; a write replaces the
    // link and leaves its target alone; a linked folder is refused.
    void stateFileNeverThroughALink()
    {
        const QString folder = FRuntime.filePath(QStringLiteral("links"));
        QVERIFY(QDir().mkpath(folder));
        const QString target = folder + QStringLiteral("/target.json");
        const QString path = folder + QStringLiteral("/tids-linked.json");
        const ip852::TidTable::Snapshot s = snapshotWith({ip852::TidTable::Entry{"A", false, 7, 5000}});
        QString error;
        QVERIFY2(ldv::writeTidState(target, s, 100, error), qPrintable(error));
        const QByteArray before = [&] { QFile f(target); f.open(QIODevice::ReadOnly); return f.readAll(); }();
        QVERIFY(QFile::link(target, path));
        QVERIFY(!ldv::readTidState(path, 100, ldv::InterfaceTids::HoldMs));
        QVERIFY2(ldv::writeTidState(path, snapshotWith({}), 100, error), qPrintable(error));
        QVERIFY(!QFileInfo(path).isSymLink());
        QFile kept(target);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), before);

        const QString fifo = folder + QStringLiteral("/tids-fifo.json");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!ldv::readTidState(fifo, 100, ldv::InterfaceTids::HoldMs));

        const QString linkedFolder = FRuntime.filePath(QStringLiteral("linked-folder"));
        QVERIFY(QFile::link(folder, linkedFolder));
        QVERIFY(!ldv::writeTidState(linkedFolder + QStringLiteral("/tids-x.json"), s, 100, error));
        QVERIFY(error.contains(QLatin1String("symlink")));
    }

    void noRuntimeFolderNoFile()
    {
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(ldv::tidStatePath(QStringLiteral("X")), QString());
        qputenv("XDG_RUNTIME_DIR", "/nonexistent-runtime-folder");
        QCOMPARE(ldv::tidStatePath(QStringLiteral("X")), QString());
        qputenv("XDG_RUNTIME_DIR", saved);
        // Names become file names safely: separators and dots are encoded, long ones hashed.
        QVERIFY(ldv::tidStatePath(QStringLiteral("../a/b")).endsWith(QLatin1String("/lonworks/tids-..%2Fa%2Fb.json")));
        const QString longName = ldv::tidStatePath(QString(300, u'x'));
        QVERIFY(QFileInfo(longName).fileName().size() < 60);
    }
};

QTEST_GUILESS_MAIN(TestIp852Tids)
#include "tst_ip852_tids.moc"
