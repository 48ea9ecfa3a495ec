#include "lonsim/usb/UsbAdapter.h"

#include "lontalk/LinkFrames.h"

namespace lonsim::usb {

using namespace lontalk::link;

namespace {
constexpr uint8_t MipVersion = 0x91;
} // namespace

UsbAdapter::UsbAdapter(Network &network, const QString &label, Module module)
    : m_iface(network, label), m_module(module)
{
}

QByteArray UsbAdapter::twoBytes(uint8_t command)
{
    return up(bytesOf({command, 0}));
}

QByteArray UsbAdapter::up(QByteArray classic)
{
    if (const auto link = toDevice(reinterpret_cast<const uint8_t *>(classic.constData()), int(classic.size())))
        classic = *link;
    // The serial module copies one byte more than the frame holds.
    if (m_module == Module::U50)
        classic.append(char(0xA0 | (m_trailer++ & 0x0F)));
    return classic;
}

QList<QByteArray> UsbAdapter::reset()
{
    m_layer5 = false;
    return {twoBytes(NiReset)};
}

QList<QByteArray> UsbAdapter::fromHost(const QByteArray &bytes)
{
    const auto parsed = parseLinkFrame(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size()));
    if (!parsed || parsed->tooLong) {
        ++m_ignored;
        return {};
    }
    QByteArray frame = parsed->frame;
    const uint8_t byte0 = uint8_t(frame[0]);
    switch (byte0) {
    case NiSetLayer:
        if (frame.size() != 3 || uint8_t(frame[2]) > 1) {
            ++m_ignored;
            return {};
        }
        m_layer5 = frame[2] == 0;
        if (m_module == Module::U50)
            return {twoBytes(m_layer5 ? NiModeEcho5 : NiModeEcho2)};
        return {};
    case NiReset:
        return reset();
    case NiFlush:
        return {twoBytes(NiFlushCancel)};    // flush complete
    case NiFlushCancel:
    case NiOnline:
    case NiOffline:
    case NiFlushIgnore:
        return {};
    case NiStatus:
        if (m_module == Module::U50)
            return {};                       // the serial module keeps it
        return {up(bytesOf({NiStatus, 2, uint8_t(m_layer5 ? 0 : 1), MipVersion}))};
    default:
        break;
    }
    const uint8_t command = commandOf(byte0);
    if ((command != 1 && command != 2) || !m_layer5) {
        // In layer 2 the adapter would put these on the channel as raw packets.
        ++m_ignored;
        return {};
    }
    // The parallel module sends messages of queues above 5 on the transaction queues.
    if (m_module == Module::U61 && command == 1 && queueOf(byte0) > 5)
        frame[0] = char(frame.size() > 3 && (uint8_t(frame[3]) & 0x80) ? 0x13 : 0x12);
    if (!m_iface.write(reinterpret_cast<const uint8_t *>(frame.constData()), int(frame.size())))
        ++m_ignored;
    return {};
}

QList<QByteArray> UsbAdapter::toHost()
{
    QList<QByteArray> out;
    uint8_t buffer[1024];
    for (int i = 0; i < 256 && m_iface.read(buffer, int(sizeof buffer)) == lontalk::HostRead::Frame; ++i) {
        const int length = 2 + buffer[1];
        const QByteArray frame(reinterpret_cast<const char *>(buffer), length);
        if (!m_layer5)
            continue;           // what the network answered to a layer 5 the adapter has left
        // The serial module drops every response under tag 15: its own keep-alive's.
        if (m_module == Module::U50 && length > 3 && buffer[0] == 0x16 && (buffer[3] & 0x01) && (buffer[2] & 0x0F) == 15)
            continue;
        out.append(up(frame));
    }
    return out;
}

} // namespace lonsim::usb
