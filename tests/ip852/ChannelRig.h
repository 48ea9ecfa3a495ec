#pragma once
// A host and a scripted device on a loopback IP-852 channel: the host side is a handle of
// libldv32.so opened through an interfaces file, the device side a UDP socket the test
// drives frame by frame. pumpUntil() keeps both served while a test waits.

#include "ldv/ldv32.h"
#include "lontalk/ip852/LonFrame.h"
#include "lontalk/ip852/Packet.h"
#include "lontalk/ip852/UdpPort.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <functional>

namespace rig {

constexpr uint8_t HostSubnet = 1, HostNode = 126, DevSubnet = 2, DevNode = 5;
const QByteArray Domain("\x4C", 1);

// A free UDP port on loopback (bound and released).
inline uint16_t freePort()
{
    ip852::UdpPort probe;
    QString error;
    probe.bind({0x7F000001, 0}, error);
    return probe.local().port;
}

// A frame as the driver writes it: command 1, queue 2, explicit address.
inline QByteArray hostFrame(uint8_t service, uint8_t tag, QByteArray address, uint8_t code, const QByteArray &data = {},
                            bool priority = false, bool response = false)
{
    address = address.leftJustified(11, '\0', true);
    QByteArray f;
    f.append(char(0x12)).append(char(data.size() + 15)).append(char((service << 5) | tag));
    f.append(char((priority ? 0x80 : 0) | 0x08 | (response ? 1 : 0))).append(char(data.size() + 1));
    f.append(address).append(char(code)).append(data);
    return f;
}

// Subnet/node address with retries and transmit timer (code 8 = 256 ms: room for a slow
// sanitizer build to answer before the retries run out).
inline QByteArray toNode(uint8_t subnet, uint8_t node, uint8_t retries = 2, uint8_t timer = 8)
{
    QByteArray a;
    a.append(char(0x01)).append(char(node)).append(char(retries)).append(char(timer)).append(char(subnet));
    return a;
}

inline QByteArray localFrame(uint8_t tag, uint8_t code, const QByteArray &data)
{
    QByteArray f = hostFrame(3, tag, QByteArray(1, char(0x7F)), code, data);
    f[0] = char(0x22);
    return f;
}

class Rig {
public:
    // Writes an interfaces file with one IP-852 entry (extra JSON members added) and opens it.
    bool open(const QString &entry)
    {
        const QString path = dir.filePath(QStringLiteral("interfaces.json"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QStringLiteral("{\"interfaces\": [{\"name\": \"IPTEST\", \"type\": \"ip852\", "
                                  "\"neuronId\": \"010203040506\", \"programId\": \"9000010A00040401\", "
                                  "\"domains\": [{\"id\": \"4C\", \"subnet\": 1, \"node\": 126%1}], %2}]}")
                       .arg(key.isEmpty() ? QString() : QStringLiteral(", \"key\": \"%1\"").arg(QString::fromLatin1(key.toHex())))
                       .arg(entry)
                       .toUtf8());
        file.close();
        qputenv("LDV_INTERFACES", path.toLocal8Bit());
        return ldv_open("IPTEST", &handle) == LDV_OK;
    }

    // Unicast: the interface on its own port with the peer as the only member.
    bool openUnicast(const QString &extra = {})
    {
        QString error;
        if (!peer.bind({0x7F000001, 0}, error))
            return false;
        niPort = freePort();
        target = {0x7F000001, niPort};
        return open(QStringLiteral("\"mode\": \"unicast\", \"localAddress\": \"127.0.0.1\", \"localPort\": %1, "
                                   "\"members\": [\"127.0.0.1:%2\"]%3")
                        .arg(niPort)
                        .arg(peer.local().port)
                        .arg(extra));
    }

    ~Rig()
    {
        if (handle > 0)
            ldv_close(handle);
    }

    void sendPacket(const QByteArray &frameBytes)
    {
        peer.send(ip852::buildDataPacket(session, sequence++, frameBytes, secret), target);
    }
    void send(const ip852::LonFrame &f) { sendPacket(ip852::buildFrame(f)); }

    // Serves host and device until done() or timeoutMs; host frames and device frames are collected.
    bool pumpUntil(const std::function<bool()> &done, int timeoutMs = 3000)
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            uint8_t buffer[1024];
            while (ldv_read(handle, buffer, 1024) == LDV_OK)
                fromHost.append(QByteArray(reinterpret_cast<const char *>(buffer), 17 + buffer[4] - 1));
            ip852::Endpoint from;
            while (const auto datagram = peer.receive(from)) {
                lastSource = from;
                const ip852::DatagramParse parsed = ip852::parseDatagram(*datagram, secret);
                rawPackets += parsed.packets;
                for (const ip852::Packet &p : parsed.packets)
                    if (const auto f = ip852::parseFrame(p.body))
                        onWire.append(*f);
            }
            if (done())
                return true;
            if (clock.elapsed() > timeoutMs)
                return false;
            QThread::msleep(1);
        }
    }
    void settle(int ms) { pumpUntil([] { return false; }, ms); }

    // A reply from the device to the host's frame f.
    static ip852::LonFrame replyTo(const ip852::LonFrame &f, const QByteArray &apdu = {})
    {
        ip852::LonFrame r;
        r.priority = f.priority;
        r.pdu = f.pdu;
        r.type = f.pdu == ip852::Pdu::Tpdu ? uint8_t(ip852::Ack) : uint8_t(ip852::Response);
        r.tid = f.tid;
        r.domain = f.domain;
        r.address.sourceSubnet = DevSubnet;
        r.address.sourceNode = DevNode;
        r.address.subnet = f.address.sourceSubnet;
        r.address.node = f.address.sourceNode;
        r.apdu = apdu;
        return r;
    }

    // A message from the device to the host.
    static ip852::LonFrame fromDevice(ip852::Pdu pdu, uint8_t type, uint8_t tid, const QByteArray &apdu)
    {
        ip852::LonFrame f;
        f.pdu = pdu;
        f.type = type;
        f.tid = tid;
        f.domain = Domain;
        f.address.sourceSubnet = DevSubnet;
        f.address.sourceNode = DevNode;
        f.address.subnet = HostSubnet;
        f.address.node = HostNode;
        f.apdu = apdu;
        return f;
    }

    QTemporaryDir dir;
    QByteArray key;     // the LonTalk authentication key of the domain entry; empty: none
    short handle = -1;
    ip852::UdpPort peer;
    ip852::Endpoint target;
    uint16_t niPort = 0;
    uint32_t session = 0x5EED0001;
    uint32_t sequence = 0;
    QByteArray secret;
    QList<QByteArray> fromHost;
    QList<ip852::LonFrame> onWire;
    QList<ip852::Packet> rawPackets;
    ip852::Endpoint lastSource;
};

// Host frames of one kind: 0x16 with the response bit, completions (0x12 here), incoming 0x18.
inline bool isResponse(const QByteArray &f) { return uint8_t(f[0]) == 0x16 && (f[3] & 0x01); }
inline bool isCompletion(const QByteArray &f) { return (uint8_t(f[0]) & 0xF0) == 0x10 && (f[3] & 0x30); }
inline bool isIncoming(const QByteArray &f) { return uint8_t(f[0]) == 0x18; }
inline int completionCode(const QByteArray &f) { return (f[3] >> 4) & 0x03; }

} // namespace rig
