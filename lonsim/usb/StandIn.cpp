#include "lonsim/usb/StandIn.h"

#include "lonsim/ControlChannel.h"
#include "lonsim/NetworkRegistry.h"
#include "lonsim/Trace.h"
#include "lontalk/LinkFrames.h"

namespace lonsim::usb {

namespace {
constexpr int TickMs = 5;           // how often answers that have become due are sent
constexpr int ControlPollMs = 50;

void trace(const QString &label, const char *direction, const QByteArray &bytes)
{
    traceFrame(label, direction, reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size()));
}
} // namespace

StandIn::StandIn(Network &network, const StandInOptions &options, QObject *parent)
    : QObject(parent), m_network(network), m_options(options), m_adapter(network, options.device, options.module)
{
    connect(&m_tick, &QTimer::timeout, this, [this] { sendUp(m_adapter.toHost()); });
    connect(&m_control, &QTimer::timeout, this, [this] {
        pollControlChannel(NetworkRegistry::instance());
        followLink();
    });
}

void StandIn::followLink()
{
    const bool up = m_tun.isUp();
    if (up && !m_up)
        m_adapter.linkRestarted();
    m_up = up;
}

bool StandIn::start(QString &error)
{
    if (!m_tun.create(m_options.device, error))
        return false;
    m_notifier = std::make_unique<QSocketNotifier>(m_tun.fd(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { fromKernel(); });
    m_tick.start(TickMs);
    m_control.start(ControlPollMs);
    pollControlChannel(NetworkRegistry::instance(), true);
    return true;
}

QString StandIn::description() const
{
    return QStringLiteral("%1 on %2 (%3%4)")
        .arg(m_network.key(), m_options.device,
             m_options.module == UsbAdapter::Module::U50 ? QStringLiteral("u50") : QStringLiteral("u61"),
             m_options.mute ? QStringLiteral(", mute") : QString());
}

void StandIn::resetAdapter()
{
    if (!m_options.mute)
        sendUp(m_adapter.reset());
}

void StandIn::fromKernel()
{
    // The link starts anew before the first frame after the device came up reaches the
    // adapter, as it does in the module, however soon the frame follows.
    followLink();
    QByteArray frame;
    uint16_t protocol = 0;
    for (int i = 0; i < 256 && m_tun.receive(frame, protocol); ++i) {
        if (protocol != lontalk::link::PacketProtocol || m_options.mute) {
            trace(m_options.device, "ignored", frame);
            continue;
        }
        trace(m_options.device, "down", frame);
        sendUp(m_adapter.fromHost(frame));
    }
    sendUp(m_adapter.toHost());
}

void StandIn::sendUp(const QList<QByteArray> &frames)
{
    for (const QByteArray &frame : frames) {
        trace(m_options.device, "up", frame);
        m_tun.send(frame, lontalk::link::PacketProtocol);
    }
}

} // namespace lonsim::usb
