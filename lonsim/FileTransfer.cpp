#include "lonsim/FileTransfer.h"

#include "lonsim/DeviceState.h"

namespace lonsim {

namespace {
constexpr int PacketBytes = 32;
constexpr int PacketsPerBlock = 6;
constexpr int MaxResends = 2;
} // namespace

FileTransfer::FileTransfer(DeviceState &device, PacketSink &target, QByteArray data, lontalk::wire::Endpoint source,
                           lontalk::wire::Endpoint destination, qint64 start, qint64 packetInterval, qint64 ackTimeout)
    : m_device(&device), m_target(&target), m_data(std::move(data)), m_source(source),
      m_destination(destination), m_interval(packetInterval), m_ackTimeout(ackTimeout), m_nextDue(start)
{
}

void FileTransfer::sendPacket(qint64 due, bool resend)
{
    const qsizetype offset = qsizetype(m_blocks * PacketsPerBlock + m_packet) * PacketBytes;
    const QByteArray chunk = offset < m_data.size() ? m_data.mid(offset, PacketBytes) : QByteArray();
    const bool last = chunk.size() < PacketBytes;
    const bool blockEnd = m_packet == PacketsPerBlock - 1;
    QByteArray payload(1, char(((m_blocks & 0x0F) << 4) | m_packet));
    payload += chunk;
    const uint8_t tag = m_target->sendFilePacket(due, blockEnd && !last, resend, payload, m_source, m_destination);
    if (blockEnd)
        m_requestTag = tag;
    if (last) {
        m_state = Done;
    } else if (blockEnd) {
        m_state = AwaitingAck;
        m_nextDue = due + m_ackTimeout;
    } else {
        ++m_packet;
        m_nextDue = due + m_interval;
    }
}

void FileTransfer::advance(qint64 now)
{
    while (m_state != Done && m_nextDue <= now) {
        if (m_state == Sending) {
            sendPacket(m_nextDue, false);
            continue;
        }
        // No acknowledgement of the block: send its last packet again, then give up.
        if (m_resends++ >= MaxResends) {
            m_state = Done;
            break;
        }
        sendPacket(m_nextDue, true);
    }
}

bool FileTransfer::acknowledge(uint8_t subnet, uint8_t node, uint8_t tag, qint64 now)
{
    if (m_state != AwaitingAck || subnet != m_source.subnet || node != m_source.node || tag != m_requestTag)
        return false;
    ++m_blocks;
    m_packet = 0;
    m_resends = 0;
    m_state = Sending;
    m_nextDue = now + m_interval;
    return true;
}

} // namespace lonsim
