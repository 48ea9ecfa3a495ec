// The simulated channel's timing, in-process on a fake clock: on a TP/FT-10 or PL-20
// channel a fetch's answer arrives once the request and then the response have crossed the
// channel, frames written together queue for it, retries occupy it, its load is the busy
// share of the time; without a channel the answer is there at once, as before.

#include "lonsim/DescriptionLoader.h"
#include "lonsim/Interface.h"
#include "lonsim/Network.h"

#include <QtTest>

using namespace lonsim;

namespace {

// Three devices on subnet 1 (nodes 10, 11, 12) with one 2-byte variable each; domain 4C.
QByteArray Description(const QString &channel)
{
    QByteArray json = R"({"name": "TIMED", "interface": {"neuronId": "05:00:00:00:00:01",
        "domains": [{"id": "4C", "subnet": 1, "node": 126}]}, CHANNEL
      "devices": [
        {"name": "A", "neuronId": "05:00:00:00:00:0A", "domains": [{"id": "4C", "subnet": 1, "node": 10}],
         "variables": [{"name": "nvoA", "value": "00 0A"}]},
        {"name": "B", "neuronId": "05:00:00:00:00:0B", "domains": [{"id": "4C", "subnet": 1, "node": 11}],
         "variables": [{"name": "nvoB", "value": "00 0B"}]},
        {"name": "C", "neuronId": "05:00:00:00:00:0C", "domains": [{"id": "4C", "subnet": 1, "node": 12}],
         "variables": [{"name": "nvoC", "value": "00 0C"}]}]})";
    json.replace("CHANNEL", channel.isEmpty() ? QByteArray() : (R"("channel": )" + channel.toUtf8() + ","));
    return json;
}

class TimedHost {
public:
    explicit TimedHost(const QString &channel)
    {
        const LoadResult loaded = loadDescription(Description(channel), QStringLiteral("timed.json"));
        if (!loaded.model)
            qFatal("%s", qPrintable(loaded.error));
        m_network = std::make_unique<Network>(*loaded.model, QStringLiteral("timed"));
        m_network->setClockForTest([this] { return now; });
        m_host = std::make_unique<Interface>(*m_network, QStringLiteral("host"));
    }
    Network &network() { return *m_network; }

    // A fetch of variable 0 of node (request service, tag), retries and transmit timer 16 ms.
    void fetch(int node, int tag, int retries = 0)
    {
        QByteArray f(18, '\0');
        f[0] = char(0x12);
        f[1] = char(16);
        f[2] = char((3 << 5) | tag);
        f[3] = char(0x08);
        f[4] = char(2);
        f[5] = char(1);
        f[6] = char(node);
        f[7] = char(retries);
        f[9] = char(1);
        f[16] = char(0x73);
        QVERIFY(m_host->write(reinterpret_cast<const uint8_t *>(f.constData()), int(f.size())));
    }
    // Frames due by now: (tag, response?) in the order read.
    QList<std::pair<int, bool>> read()
    {
        QList<std::pair<int, bool>> frames;
        uint8_t buffer[300];
        while (m_host->read(buffer, sizeof buffer) == lontalk::HostRead::Frame)
            frames.append({buffer[2] & 0x0F, (buffer[3] & 0x01) != 0});
        return frames;
    }
    // The first time (ms) at which a response with tag is due, stepping the clock by 1 ms.
    qint64 responseTime(int tag, qint64 limit = 5000)
    {
        for (; now < limit; ++now) {
            for (const auto &[t, response] : read())
                if (t == tag && response)
                    return now;
        }
        return -1;
    }

    qint64 now = 1000;

private:
    std::unique_ptr<Network> m_network;
    std::unique_ptr<Interface> m_host;
};

// Hand counts: a fetch request by subnet/node in a 1-byte domain is 12 bytes with its CRC
// (layer 2 header, layer 3 header, source subnet and node, destination subnet and node,
// domain, SPDU header, code, index, CRC), its response with a 2-byte value 14. A packet
// cycle adds its fixed part: TP/FT-10 9 + 3 + 33 + 33 × (4 + 7.5) = 424.5 bits, PL-20
// 33.5 + 3 + 36.5 + 19 × (8 + 7.5) = 367.5 bits.
constexpr double Ft10FetchUs = (424.5 + 96 + 424.5 + 112) / 78125.0 * 1e6;
constexpr double Pl20FetchUs = (367.5 + 96 + 367.5 + 112) / 5400.0 * 1e6;

} // namespace

class TestChannelTiming : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void oneFetchTakesItsFramesTime_data()
    {
        QTest::addColumn<QString>("channel");
        QTest::addColumn<qint64>("expectedMs");
        QTest::newRow("untimed") << QString() << qint64(0);
        QTest::newRow("IP") << R"({"kind": "IP"})" << qint64(0);
        QTest::newRow("TP/FT-10") << R"({"kind": "TP/FT-10"})" << qint64(std::ceil(Ft10FetchUs / 1000));
        QTest::newRow("PL-20") << R"({"kind": "PL-20"})" << qint64(std::ceil(Pl20FetchUs / 1000));
        QTest::newRow("FT-10 at twice the rate") << R"({"kind": "FT-10", "bitRate": 156250})"
                                                  << qint64(std::ceil(Ft10FetchUs / 2000));
    }
    void oneFetchTakesItsFramesTime()
    {
        QFETCH(QString, channel);
        QFETCH(qint64, expectedMs);
        TimedHost host(channel);
        host.fetch(10, 1);
        QCOMPARE(host.responseTime(1) - 1000, expectedMs);
    }

    void framesQueueForTheChannel()
    {
        TimedHost host(R"({"kind": "TP/FT-10"})");
        host.fetch(10, 1);
        host.fetch(11, 2);
        host.fetch(12, 3);
        // Three requests, then the three responses: the last one after six packet cycles.
        const qint64 first = host.responseTime(1);
        const qint64 second = host.responseTime(2);
        const qint64 third = host.responseTime(3);
        QVERIFY2(first < second && second < third, qPrintable(QStringLiteral("%1 %2 %3").arg(first).arg(second).arg(third)));
        QCOMPARE(third - 1000, qint64(std::ceil(3 * Ft10FetchUs / 1000)));
        QCOMPARE(host.network().channel().frames(), 6);
        // The channel was busy all the time since the first request.
        QVERIFY(host.network().channel().load(host.network().nowNs()) > 0.97);
    }

    void retriesOccupyTheChannelAndLoadIsTheBusyShare()
    {
        TimedHost host(R"({"kind": "TP/FT-10"})");
        Network &net = host.network();
        net.device(QStringLiteral("C"))->setSilent(true);
        // One attempt and two retries, 16 ms apart: three request frames, no answer.
        host.fetch(12, 4, 2);
        QCOMPARE(net.channel().frames(), 3);
        // One fetch every 100 ms for 10 s: the load is one fetch's time in every 100 ms.
        net.resetChannelCounts();
        host.now = 20'000;
        for (int i = 0; i < 100; ++i, host.now += 100) {
            host.fetch(10, i % 15);
            host.read();
        }
        QCOMPARE(net.channel().frames(), 200);
        const double load = net.channel().load(net.nowNs());
        QVERIFY2(std::abs(load - Ft10FetchUs / 100'000) < 0.001, qPrintable(QString::number(load)));
    }

    void descriptionRefusesABadChannel_data()
    {
        QTest::addColumn<QString>("channel");
        QTest::addColumn<QString>("error");
        QTest::newRow("kind") << R"({"kind": "RS-485"})" << "channel: kind must be TP/FT-10, PL-20 or IP";
        QTest::newRow("rate") << R"({"kind": "PL-20", "bitRate": 20})" << "channel: bitRate must be between 300";
        QTest::newRow("key") << R"({"kind": "PL-20", "rate": 20})" << "channel: unknown key rate";
    }
    void descriptionRefusesABadChannel()
    {
        QFETCH(QString, channel);
        QFETCH(QString, error);
        const LoadResult loaded = loadDescription(Description(channel), QStringLiteral("timed.json"));
        QVERIFY(!loaded.model);
        QVERIFY2(loaded.error.contains(error), qPrintable(loaded.error));
    }
};

QTEST_GUILESS_MAIN(TestChannelTiming)
#include "tst_channel_timing.moc"
