#include "lontalk/ip852/Packet.h"

#include "lontalk/ip852/BigEndian.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QRandomGenerator>

namespace ip852 {

namespace {

bool sameBytes(const QByteArray &a, const char *b, int n)
{
    // Constant-time compare of the digest.
    if (a.size() != n)
        return false;
    uint8_t diff = 0;
    for (int i = 0; i < n; ++i)
        diff |= uint8_t(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace

const char *errorText(PacketError error)
{
    switch (error) {
    case PacketError::None: return "ok";
    case PacketError::Truncated: return "truncated packet";
    case PacketError::BadSize: return "packet size smaller than its header";
    case PacketError::BadVersion: return "unknown IP-852 version";
    case PacketError::Unauthenticated: return "packet without digest on an authenticated channel";
    case PacketError::BadDigest: return "MD5 digest does not match";
    }
    return "?";
}

QByteArray digest(const char *packet, int size, const QByteArray &secret)
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    md5.addData(QByteArrayView(packet, size));
    md5.addData(QByteArray(DigestLength, '\0'));
    md5.addData(secret);
    return md5.result();
}

DatagramParse parseDatagram(const QByteArray &datagram, const QByteArray &secret)
{
    DatagramParse result;
    const auto *bytes = reinterpret_cast<const uint8_t *>(datagram.constData());
    const int total = int(datagram.size());
    int offset = 0;
    while (offset < total) {
        const int left = total - offset;
        const uint8_t *p = bytes + offset;
        if (left < HeaderLength) {
            result.error = PacketError::Truncated;
            break;
        }
        Header h;
        h.size = be16(p);
        h.version = p[2];
        h.type = p[3];
        h.extensionWords = p[4];
        h.protocolFlags = p[5];
        h.vendor = be16(p + 6);
        h.session = be32(p + 8);
        h.sequence = be32(p + 12);
        h.timestamp = be32(p + 16);
        const int bodyStart = HeaderLength + 4 * h.extensionWords;
        if (h.size < bodyStart) {
            result.error = PacketError::BadSize;
            break;
        }
        const int step = h.size + (h.authenticated() ? DigestLength : 0);
        if (step > left) {
            result.error = PacketError::Truncated;
            break;
        }
        if ((h.version & 0x1F) > 1 || (h.version & 0x60)) {
            result.error = PacketError::BadVersion;
            break;
        }
        offset += step;
        if (!secret.isEmpty() || h.authenticated()) {
            const bool ok = !secret.isEmpty() && h.authenticated()
                            && sameBytes(digest(reinterpret_cast<const char *>(p), h.size, secret),
                                         reinterpret_cast<const char *>(p + h.size), DigestLength);
            if (!ok) {
                ++result.rejected;
                continue;
            }
        }
        Packet packet;
        packet.header = h;
        packet.body = QByteArray(reinterpret_cast<const char *>(p + bodyStart), h.size - bodyStart);
        result.packets.append(packet);
    }
    return result;
}

QByteArray buildPacket(Header header, const QByteArray &body, const QByteArray &secret)
{
    const int size = HeaderLength + 4 * header.extensionWords + int(body.size());
    if (size > 0xFFFF)
        return {};
    header.size = uint16_t(size);
    header.protocolFlags = uint8_t((header.protocolFlags & ~FlagAuthenticated) | (secret.isEmpty() ? 0 : FlagAuthenticated));
    QByteArray out;
    out.reserve(size + DigestLength);
    put16(out, header.size);
    out.append(char(header.version)).append(char(header.type)).append(char(header.extensionWords));
    out.append(char(header.protocolFlags));
    put16(out, header.vendor);
    put32(out, header.session);
    put32(out, header.sequence);
    put32(out, header.timestamp);
    out.append(QByteArray(4 * header.extensionWords, '\0'));
    out.append(body);
    if (!secret.isEmpty())
        out.append(digest(out.constData(), size, secret));
    return out;
}

QByteArray buildDataPacket(uint32_t session, uint32_t sequence, const QByteArray &frame, const QByteArray &secret)
{
    Header h;
    h.type = DataPacket;
    h.session = session;
    h.sequence = sequence;
    h.timestamp = 0;
    return buildPacket(h, frame, secret);
}

std::optional<QByteArray> secretFromText(const QString &text)
{
    if (text.size() == 2 * DigestLength) {
        const QByteArray hex = QByteArray::fromHex(text.toLatin1());
        bool allHex = true;
        for (QChar c : text)
            allHex = allHex && (c.isDigit() || QStringLiteral("abcdefABCDEF").contains(c));
        if (allHex && hex.size() == DigestLength)
            return hex;
    }
    const QByteArray raw = text.toUtf8();
    if (raw.isEmpty() || raw.size() > DigestLength)
        return std::nullopt;
    return raw.leftJustified(DigestLength, '\0');
}

uint32_t newSessionId()
{
    const auto clock = uint32_t(QDateTime::currentMSecsSinceEpoch());
    const uint32_t id = clock ^ QRandomGenerator::system()->generate();
    return id ? id : 1;
}

bool DatagramPacker::add(const QByteArray &packet)
{
    if (packet.size() > MaxDatagram || packet.isEmpty())
        return false;
    if (m_current.size() + packet.size() > MaxDatagram) {
        m_done.append(m_current);
        m_current.clear();
    }
    m_current.append(packet);
    return true;
}

QList<QByteArray> DatagramPacker::take()
{
    if (!m_current.isEmpty())
        m_done.append(m_current);
    m_current.clear();
    QList<QByteArray> out;
    out.swap(m_done);
    return out;
}

} // namespace ip852
