#pragma once
// The network device the adapter stand-in makes: a TUN device with packet information,
// named like the Linux LON driver's devices (lon0), brought up on creation. Every frame
// carries the four-byte packet information (flags, protocol); LON frames use protocol
// 0x8950, as on a real lonN. The device goes away when the object does. Needs
// CAP_NET_ADMIN (root in a network namespace of one's own).

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace lonsim::usb {

class TunDevice {
public:
    TunDevice() = default;
    ~TunDevice();
    TunDevice(const TunDevice &) = delete;
    TunDevice &operator=(const TunDevice &) = delete;

    // Creates the device and sets it up; false with error set.
    bool create(const QString &name, QString &error);
    int fd() const { return m_fd; }
    const QString &name() const { return m_name; }

    // One packet from the kernel (what a program sent on the device), non-blocking:
    // false when none waits. protocol is the packet information's protocol.
    bool receive(QByteArray &frame, uint16_t &protocol);
    // Whether the device is up (someone may take it down: ip link set lon0 down).
    bool isUp() const;
    // Hands a frame to the kernel as received from the adapter; false when refused.
    bool send(const QByteArray &frame, uint16_t protocol);

private:
    int m_fd = -1;
    QString m_name;
};

} // namespace lonsim::usb
