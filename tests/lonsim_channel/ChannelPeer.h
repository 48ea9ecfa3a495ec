#pragma once
// A host on an IP-852 unicast channel for the tests: its own UDP socket on loopback,
// data packets out (session, sequence, optional digest), and every datagram and LonTalk
// frame that comes back.

#include "lontalk/ip852/LonFrame.h"
#include "lontalk/ip852/Packet.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

class ChannelPeer
{
public:
    explicit ChannelPeer(QByteArray secret = {}) : FSecret(std::move(secret))
    {
        FSocket.bind(QHostAddress::LocalHost, 0);
    }

    quint16 Port() const { return FSocket.localPort(); }
    void SetSecret(const QByteArray &secret) { FSecret = secret; }

    void SendDatagram(const QByteArray &datagram, quint16 to) { FSocket.writeDatagram(datagram, QHostAddress::LocalHost, to); }
    // One data packet around frame; returns the packet's bytes.
    QByteArray Send(const ip852::LonFrame &frame, quint16 to)
    {
        const QByteArray packet = ip852::buildDataPacket(FSession, FSequence++, ip852::buildFrame(frame), FSecret);
        SendDatagram(packet, to);
        return packet;
    }

    // Datagrams received within ms (waits at least until count have come).
    QList<QByteArray> Datagrams(int count, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms && FDatagrams.size() < count) {
            Drain();
            QTest::qWait(5);
        }
        Drain();
        return std::exchange(FDatagrams, {});
    }
    // The frames of the datagrams received within ms (stops once count have come).
    QList<ip852::LonFrame> Frames(int count, int ms)
    {
        QList<ip852::LonFrame> frames;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms && frames.size() < count) {
            Drain();
            for (const QByteArray &d : std::exchange(FDatagrams, {}))
                for (const ip852::Packet &p : ip852::parseDatagram(d, FSecret).packets)
                    if (const auto f = ip852::parseFrame(p.body))
                        frames.append(*f);
            if (frames.size() < count)
                QTest::qWait(5);
        }
        return frames;
    }

private:
    void Drain()
    {
        while (FSocket.hasPendingDatagrams())
            FDatagrams.append(FSocket.receiveDatagram(ip852::ReceiveBuffer).data());
    }

    QUdpSocket FSocket;
    QByteArray FSecret;
    quint32 FSession = ip852::newSessionId();
    quint32 FSequence = 0;
    QList<QByteArray> FDatagrams;
};

// A message from the host 1/126 (or subnet/node given) to subnet/node in domain.
inline ip852::LonFrame HostMessage(const QByteArray &domain, quint8 subnet, quint8 node, const QByteArray &apdu,
                                   quint8 tid, ip852::Pdu pdu = ip852::Pdu::Spdu, quint8 type = ip852::Request)
{
    ip852::LonFrame f;
    f.pdu = pdu;
    f.type = type;
    f.tid = tid;
    f.backlog = 1;
    f.address.format = ip852::AddressFormat::SubnetNode;
    f.address.sourceSubnet = domain.size() == 3 ? 2 : 1;
    f.address.sourceNode = 126;
    f.address.subnet = subnet;
    f.address.node = node;
    f.domain = domain;
    f.apdu = apdu;
    return f;
}
