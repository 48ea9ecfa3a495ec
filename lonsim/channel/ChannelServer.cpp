#include "lonsim/channel/ChannelServer.h"

#include "lonsim/ControlChannel.h"
#include "lonsim/NetworkRegistry.h"
#include "lonsim/Trace.h"

namespace lonsim::channel {

namespace {
constexpr int TickMs = 5;               // file packets and bound updates
constexpr int ControlPollMs = 50;

const uint8_t *bytesOf(const QByteArray &a)
{
    return reinterpret_cast<const uint8_t *>(a.constData());
}
} // namespace

ChannelServer::ChannelServer(Network &network, const ChannelOptions &options, QObject *parent)
    : QObject(parent), m_network(network), m_options(options), m_link(options, this),
      m_label(network.model().name + QLatin1String("@channel"))
{
    for (DeviceState &device : m_network.devices())
        m_nodes.push_back(std::make_unique<ChannelNode>(m_network, device, *this));
    m_network.setUpdateListener([this](DeviceState &device, uint8_t code, const QByteArray &data) {
        for (const auto &node : m_nodes)
            if (&node->device() == &device)
                node->sendUpdate(code, data);
    });
    m_link.onFrame = [this](const ip852::LonFrame &frame, const QByteArray &bytes) { frameIn(frame, bytes); };
    m_link.onRefused = [this](const char *, const QByteArray &bytes) {
        traceFrame(m_label, "refused", bytesOf(bytes), int(bytes.size()));
    };
    m_sendTimer.setSingleShot(true);
    m_sendTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_sendTimer, &QTimer::timeout, this, &ChannelServer::sendDue);
    connect(&m_tick, &QTimer::timeout, this, [this] {
        m_network.advance();
        sendDue();
    });
    connect(&m_control, &QTimer::timeout, this, [] { pollControlChannel(NetworkRegistry::instance()); });
}

ChannelServer::~ChannelServer()
{
    m_network.setUpdateListener({});
    for (const auto &node : m_nodes)
        m_network.dropTransfers(*node);
}

namespace {

// What the channel's devices ask a configuration server for: everything in each domain
// they are in (as a repeater does); the devices pick what is addressed to them.
ip852::RoutingPacket devicesRouting(const Network &network)
{
    ip852::RoutingPacket r;
    r.routerType = ip852::RouterRepeater;
    r.lonTalkFlags = 3;
    for (const Device &device : network.model().devices)
        for (const DomainAddress &domain : device.domains) {
            if (std::any_of(r.domains.begin(), r.domains.end(), [&](const auto &d) { return d.id == domain.id; }))
                continue;
            r.domains.append(ip852::RoutingPacket::Domain::whole(domain.id));
        }
    return r;
}

} // namespace

bool ChannelServer::start(QString &error)
{
    m_link.setRouting(devicesRouting(m_network), m_network.model().name);
    if (!m_options.pcap.isEmpty()) {
        if (!m_pcap.open(m_options.pcap, error))
            return false;
        m_link.onDatagram = [this](const Peer &from, const Peer &to, const QByteArray &datagram) {
            m_pcap.write(from, to, datagram);
        };
    }
    if (!m_link.open(error))
        return false;
    m_tick.start(TickMs);
    m_control.start(ControlPollMs);
    pollControlChannel(NetworkRegistry::instance(), true);
    return true;
}

QString ChannelServer::description() const
{
    QString mode = m_options.mode == ChannelOptions::Multicast ? QStringLiteral("multicast") : QStringLiteral("unicast");
    if (m_options.configServer)
        mode += QStringLiteral(", configuration server %1:%2")
                    .arg(m_options.configServer->address.toString())
                    .arg(m_options.configServer->port);
    return QStringLiteral("%1 on %2 (%3)").arg(m_network.model().name, m_link.endpoint(), mode);
}

void ChannelServer::frameIn(const ip852::LonFrame &frame, const QByteArray &bytes)
{
    traceFrame(m_label, "in", bytesOf(bytes), int(bytes.size()));
    m_network.advance();
    for (const auto &node : m_nodes)
        node->receive(frame);
    m_network.setDirty(true);
    sendDue();
}

void ChannelServer::transmit(qint64 due, const QList<QByteArray> &frames, bool lyingSize, std::function<void()> sent)
{
    m_queue.emplace(std::make_pair(due, m_queued++), Outgoing{frames, lyingSize, std::move(sent)});
    armSendTimer();
}

void ChannelServer::sendDue()
{
    const qint64 now = m_network.now();
    while (!m_queue.empty() && m_queue.begin()->first.first <= now) {
        Outgoing out = std::move(m_queue.begin()->second);
        m_queue.erase(m_queue.begin());
        for (const QByteArray &frame : std::as_const(out.frames))
            traceFrame(m_label, out.lyingSize ? "out-lying" : "out", bytesOf(frame), int(frame.size()));
        m_link.send(out.frames, out.lyingSize);
        if (out.sent)
            out.sent();
    }
    armSendTimer();
}

void ChannelServer::armSendTimer()
{
    if (m_queue.empty()) {
        m_sendTimer.stop();
        return;
    }
    const qint64 wait = std::max<qint64>(0, m_queue.begin()->first.first - m_network.now());
    if (!m_sendTimer.isActive() || m_sendTimer.remainingTime() > wait)
        m_sendTimer.start(int(std::min<qint64>(wait, 60000)));
}

} // namespace lonsim::channel
