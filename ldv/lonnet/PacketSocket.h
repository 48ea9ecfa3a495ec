#pragma once
// The packet socket on a LON network device (lonN): AF_PACKET, SOCK_RAW, protocol 0x8950,
// bound to the device by its index. Frames go down and up without any header. Needs
// CAP_NET_RAW; the device must be up.

#include "ldv/lonnet/DeviceLink.h"

#include <QList>

namespace ldv::lonnet {

class PacketSocket : public DeviceLink {
public:
    PacketSocket() = default;
    ~PacketSocket() override;
    PacketSocket(const PacketSocket &) = delete;
    PacketSocket &operator=(const PacketSocket &) = delete;

    OpenResult open(const QString &device, QString &why) override;
    void close() override;
    bool isOpen() const override { return m_fd >= 0; }
    IoResult send(const QByteArray &frame, QString &why) override;
    IoResult receive(QByteArray &frame, QString &why) override;
    void wait(int ms) override;

private:
    int m_fd = -1;
};

} // namespace ldv::lonnet
