// Duplicate detection of the simulated devices, in-process (the library's simulated
// network) and behind the channel server, on a fake clock: a repeat of an acknowledged or
// request transaction (same source, destination, priority and TID) inside the receive
// timer is not executed again and gets the stored ACK or response; the timer restarts with
// each repeat; Neuron-ID addressed messages use their fixed timer; another priority or
// another source is a new transaction; a device can have detection turned off.

#include "ChannelPeer.h"
#include "lonsim/channel/ChannelServer.h"
#include "lonsim/DescriptionLoader.h"
#include "lonsim/Interface.h"

#include <QtTest>

using namespace lonsim;
using namespace lonsim::channel;

namespace {

const QByteArray Dom4C = QByteArray::fromHex("4C");
constexpr int Keeper = 10, Forgetter = 11;
const QByteArray KeeperNeuronId = QByteArray::fromHex("05000000010A");

// One transmission of the host: at a time of the fake clock, to a device, with a TID.
struct Step {
    qint64 at = 0;
    int node = Keeper;
    bool acknowledged = false;      // an ACKD update of nviC, else a request (fetch)
    QByteArray apdu;
    int tid = 5;
    bool priority = false;
    int sourceNode = 126;
    bool byNeuronId = false;
    QByteArray answer;              // hex of the response APDU, "ack", or empty: none
    int executed = 0;               // the device's fetches + updates after the step
};

Step Fetch(qint64 at, int index, const char *answer, int executed)
{
    Step s;
    s.at = at;
    s.apdu = QByteArray::fromHex("73") + char(index);
    s.answer = answer;
    s.executed = executed;
    return s;
}

Step Update(qint64 at, const char *value, int executed)
{
    Step s;
    s.at = at;
    s.acknowledged = true;
    s.apdu = QByteArray::fromHex("BFFD") + QByteArray::fromHex(value);   // nviC, unbound: selector 0x3FFD
    s.answer = "ack";
    s.executed = executed;
    return s;
}

Step With(Step s, const std::function<void(Step &)> &change)
{
    change(s);
    return s;
}

// A host that sends steps and reports what came back, over one carrier.
class Carrier {
public:
    virtual ~Carrier() = default;
    virtual QByteArray send(const Step &step, int index) = 0;
    virtual Network &network() = 0;
    qint64 now = 1000;
};

// The library's simulated network: the step goes through Network::transmit with its TID.
class InProcess : public Carrier {
public:
    explicit InProcess(NetworkModel model) : m_network(std::move(model), QStringLiteral("duplicates"))
    {
        m_network.setClockForTest([this] { return now; });
        m_hosts[0] = std::make_unique<Interface>(m_network, QStringLiteral("host126"));
        m_hosts[1] = std::make_unique<Interface>(m_network, QStringLiteral("host125"));
        // The second interface's domain entry 0 takes node 125.
        QByteArray update = QByteArray::fromHex("2220") + char(0x60) + char(0x08) + char(17) + char(0x7F);
        update += QByteArray(10, '\0') + char(0x63) + QByteArray::fromHex("004C0000000000017D01000000000000");
        update[1] = char(update.size() - 2);
        m_hosts[1]->write(reinterpret_cast<const uint8_t *>(update.constData()), int(update.size()));
        drain(*m_hosts[1], -1);
    }
    Network &network() override { return m_network; }

    QByteArray send(const Step &s, int index) override
    {
        const uint8_t tag = uint8_t(index % 15);
        QByteArray f(17, '\0');
        f[0] = char(0x12);
        f[2] = char(((s.acknowledged ? 0 : 3) << 5) | tag);
        f[3] = char((s.priority ? 0x80 : 0) | 0x08);
        if (s.byNeuronId) {
            f[5] = char(2);
            f.replace(10, 6, KeeperNeuronId);
        } else {
            f[5] = char(1);
            f[6] = char(s.node);
            f[9] = char(1);
        }
        f[7] = char(0x00);      // no retries, transmit timer 16 ms
        f[16] = s.apdu[0];
        f += s.apdu.mid(1);
        f[1] = char(f.size() - 2);
        f[4] = char(s.apdu.size());
        const auto frame = lontalk::wire::parseHostFrame(reinterpret_cast<const uint8_t *>(f.constData()), int(f.size()));
        if (!frame)
            return "unparsed";
        Interface &host = *m_hosts[s.sourceNode == 126 ? 0 : 1];
        m_network.transmit(host, *frame, uint8_t(s.tid));
        return drain(host, tag);
    }

private:
    // The answer to the frame with tag among the frames due now: the response's APDU, "ack"
    // for a success completion of an acknowledged message, or nothing.
    static QByteArray drain(Interface &host, int tag)
    {
        QByteArray answer;
        uint8_t buffer[300];
        while (host.read(buffer, sizeof buffer) == lontalk::HostRead::Frame) {
            if ((buffer[2] & 0x0F) != tag)
                continue;
            if (buffer[3] & 0x01)
                answer = QByteArray(reinterpret_cast<const char *>(buffer) + 16, buffer[1] - 14).toHex();
            else if (((buffer[3] >> 4) & 3) == 1 && ((buffer[2] >> 5) & 3) == 0)
                answer = "ack";
        }
        return answer;
    }

    Network m_network;
    std::unique_ptr<Interface> m_hosts[2];
};

// lonsim-channel's server on a loopback unicast channel: the step is a LonTalk frame.
class OnChannel : public Carrier {
public:
    explicit OnChannel(NetworkModel model) : m_network(std::move(model), QStringLiteral("duplicates"))
    {
        m_network.setClockForTest([this] { return now; });
        ChannelOptions options;
        options.network = QStringLiteral("duplicates");
        options.mode = ChannelOptions::Unicast;
        options.listen = Peer{QHostAddress::LocalHost, 0};
        options.members = {Peer{QHostAddress::LocalHost, m_host.Port()}};
        m_server = std::make_unique<ChannelServer>(m_network, options);
        QString error;
        m_started = m_server->start(error);
    }
    bool started() const { return m_started; }
    Network &network() override { return m_network; }

    QByteArray send(const Step &s, int) override
    {
        ip852::LonFrame f = HostMessage(Dom4C, 1, quint8(s.node), s.apdu, quint8(s.tid),
                                        s.acknowledged ? ip852::Pdu::Tpdu : ip852::Pdu::Spdu,
                                        s.acknowledged ? quint8(ip852::Ackd) : quint8(ip852::Request));
        f.priority = s.priority;
        f.address.sourceNode = quint8(s.sourceNode);
        if (s.byNeuronId) {
            f.address.format = ip852::AddressFormat::NeuronId;
            f.address.subnet = 0;
            std::copy(KeeperNeuronId.begin(), KeeperNeuronId.end(), f.address.neuronId.begin());
        }
        m_host.Send(f, m_server->link().localPort());
        // An answer comes at once (no delay); waiting for none costs a short while.
        const QList<ip852::LonFrame> frames = m_host.Frames(1, s.answer.isEmpty() ? 150 : 3000);
        if (frames.isEmpty())
            return {};
        const ip852::LonFrame &r = frames.first();
        return r.pdu == ip852::Pdu::Tpdu && r.type == ip852::Ack ? QByteArray("ack") : r.apdu.toHex();
    }

private:
    Network m_network;
    ChannelPeer m_host;
    std::unique_ptr<ChannelServer> m_server;
    bool m_started = false;
};

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestDeviceDuplicates : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void repeats_data()
    {
        QTest::addColumn<bool>("channel");
        QTest::addColumn<QList<Step>>("steps");
        const auto fromPriority = [](Step &s) { s.priority = true; };
        const auto fromNode125 = [](Step &s) { s.sourceNode = 125; };
        const auto byNeuronId = [](Step &s) { s.byNeuronId = true; };
        const auto forgetter = [](Step &s) { s.node = Forgetter; };
        const struct {
            const char *name;
            QList<Step> steps;
        } cases[] = {
            // A repeat asking for another variable still gets the stored answer.
            {"request repeated inside the timer",
             {Fetch(0, 0, "33000064", 1), Fetch(12287, 1, "33000064", 1)}},
            {"request repeated after the timer", {Fetch(0, 0, "33000064", 1), Fetch(12288, 1, "330100c8", 2)}},
            {"timer restarted by each repeat",
             {Fetch(0, 0, "33000064", 1), Fetch(10000, 1, "33000064", 1), Fetch(22287, 1, "33000064", 1),
              Fetch(34575, 1, "330100c8", 2)}},
            {"another TID is a new request", {Fetch(0, 0, "33000064", 1), With(Fetch(10, 1, "330100c8", 2), [](Step &s) { s.tid = 6; })}},
            {"acknowledged update repeated inside the timer",
             {Update(0, "0900", 1), Update(5000, "0A00", 1), Fetch(5100, 2, "33020900", 2)}},
            {"acknowledged update repeated after the timer",
             {Update(0, "0900", 1), Update(12288, "0A00", 2), With(Fetch(12300, 2, "33020a00", 3), [](Step &s) { s.tid = 6; })}},
            {"another priority is not a repeat",
             {Fetch(0, 0, "33000064", 1), With(Fetch(10, 1, "330100c8", 2), fromPriority)}},
            {"another source is not a repeat",
             {Fetch(0, 0, "33000064", 1), With(Fetch(10, 1, "330100c8", 2), fromNode125)}},
            {"Neuron ID: fixed timer, restarted by each repeat",
             {With(Fetch(0, 0, "33000064", 1), byNeuronId), With(Fetch(8191, 1, "33000064", 1), byNeuronId),
              With(Fetch(16382, 1, "33000064", 1), byNeuronId), With(Fetch(24574, 1, "330100c8", 2), byNeuronId)}},
            {"detection turned off", {With(Fetch(0, 0, "33000064", 1), forgetter), With(Fetch(10, 1, "330100c8", 2), forgetter),
                                      With(Update(20, "0900", 3), forgetter), With(Update(30, "0A00", 4), forgetter)}},
        };
        for (bool channel : {false, true})
            for (const auto &c : cases)
                QTest::addRow("%s, %s", channel ? "channel" : "in-process", c.name) << channel << c.steps;
    }
    void repeats()
    {
        QFETCH(bool, channel);
        QFETCH(QList<Step>, steps);
        LoadResult loaded = loadDescriptionFile(QStringLiteral(LONSIM_FIXTURES "/duplicates.json"));
        QVERIFY(loaded.model);
        std::unique_ptr<Carrier> carrier;
        if (channel) {
            auto server = std::make_unique<OnChannel>(std::move(*loaded.model));
            QVERIFY(server->started());
            carrier = std::move(server);
        } else {
            carrier = std::make_unique<InProcess>(std::move(*loaded.model));
        }
        for (int i = 0; i < steps.size(); ++i) {
            const Step &s = steps.at(i);
            carrier->now = 1000 + s.at;
            const QByteArray answer = carrier->send(s, i + 1);
            QVERIFY2(answer == s.answer, qPrintable(QStringLiteral("step %1: %2").arg(i).arg(QString::fromLatin1(answer))));
            const DeviceState &d = *carrier->network().device(s.node == Keeper ? QStringLiteral("Keeper") : QStringLiteral("Forgetter"));
            QCOMPARE(d.counts().fetch + d.counts().update, s.executed);
        }
    }
};

QTEST_GUILESS_MAIN(TestDeviceDuplicates)
#include "tst_device_duplicates.moc"
