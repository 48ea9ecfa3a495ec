#include "lonsim/channel/PcapWriter.h"

#include <QDateTime>
#include <QtEndian>

namespace lonsim::channel {

namespace {
constexpr quint32 PcapMagic = 0xA1B2C3D4;
constexpr quint32 LinkTypeRaw = 101;
constexpr int IpHeader = 20;
constexpr int UdpHeader = 8;

void put16(QByteArray &out, int at, quint16 v)
{
    out[at] = char(v >> 8);
    out[at + 1] = char(v & 0xFF);
}
void put32(QByteArray &out, int at, quint32 v)
{
    put16(out, at, quint16(v >> 16));
    put16(out, at + 2, quint16(v & 0xFFFF));
}

QByteArray little32(quint32 v)
{
    QByteArray out(4, '\0');
    qToLittleEndian(v, out.data());
    return out;
}
QByteArray little16(quint16 v)
{
    QByteArray out(2, '\0');
    qToLittleEndian(v, out.data());
    return out;
}
} // namespace

QByteArray ipv4UdpPacket(const Peer &from, const Peer &to, const QByteArray &payload, quint16 id)
{
    const int total = IpHeader + UdpHeader + int(payload.size());
    QByteArray p(IpHeader + UdpHeader, '\0');
    p[0] = char(0x45);
    put16(p, 2, quint16(total));
    put16(p, 4, id);
    p[8] = char(64);
    p[9] = char(17);
    put32(p, 12, from.address.toIPv4Address());
    put32(p, 16, to.address.toIPv4Address());
    quint32 sum = 0;
    for (int i = 0; i < IpHeader; i += 2)
        sum += (quint8(p[i]) << 8) | quint8(p[i + 1]);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    put16(p, 10, quint16(~sum));
    put16(p, IpHeader, from.port);
    put16(p, IpHeader + 2, to.port);
    put16(p, IpHeader + 4, quint16(UdpHeader + payload.size()));
    return p + payload;
}

bool PcapWriter::open(const QString &path, QString &error)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = QStringLiteral("cannot write %1: %2").arg(path, m_file.errorString());
        return false;
    }
    m_file.write(little32(PcapMagic) + little16(2) + little16(4) + little32(0) + little32(0) + little32(65535)
                 + little32(LinkTypeRaw));
    m_file.flush();
    return true;
}

void PcapWriter::write(const Peer &from, const Peer &to, const QByteArray &payload)
{
    if (!m_file.isOpen())
        return;
    const QByteArray packet = ipv4UdpPacket(from, to, payload, m_ipId++);
    const qint64 us = QDateTime::currentMSecsSinceEpoch() * 1000;
    m_file.write(little32(quint32(us / 1000000)) + little32(quint32(us % 1000000)) + little32(quint32(packet.size()))
                 + little32(quint32(packet.size())) + packet);
    m_file.flush();
}

} // namespace lonsim::channel
