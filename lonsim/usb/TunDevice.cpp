#include "lonsim/usb/TunDevice.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lonsim::usb {

namespace {
constexpr int PacketInfoLength = 4;     // flags (2 bytes), protocol (2 bytes, network order)
constexpr int MaxPacket = 4 + 1280 + 64;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
} // namespace

TunDevice::~TunDevice()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool TunDevice::create(const QString &name, QString &error)
{
    const QByteArray local = name.toLocal8Bit();
    if (local.isEmpty() || local.size() >= IFNAMSIZ) {
        error = QStringLiteral("\"%1\" is not a network device name").arg(name);
        return false;
    }
    const int fd = ::open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = QStringLiteral("cannot open /dev/net/tun: %1").arg(systemError());
        return false;
    }
    // TUN with packet information: without it the kernel takes every frame for IP and
    // refuses LON frames.
    ifreq request{};
    request.ifr_flags = IFF_TUN;
    std::memcpy(request.ifr_name, local.constData(), std::size_t(local.size()));
    if (::ioctl(fd, TUNSETIFF, &request) != 0) {
        error = QStringLiteral("cannot create the TUN device %1: %2").arg(name, systemError());
        ::close(fd);
        return false;
    }
    const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq flags{};
    std::memcpy(flags.ifr_name, local.constData(), std::size_t(local.size()));
    const bool up = control >= 0 && ::ioctl(control, SIOCGIFFLAGS, &flags) == 0
                    && (flags.ifr_flags |= IFF_UP, ::ioctl(control, SIOCSIFFLAGS, &flags) == 0);
    if (!up)
        error = QStringLiteral("cannot bring %1 up: %2").arg(name, systemError());
    if (control >= 0)
        ::close(control);
    if (!up) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_name = name;
    return true;
}

bool TunDevice::isUp() const
{
    const QByteArray local = m_name.toLocal8Bit();
    const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq flags{};
    std::memcpy(flags.ifr_name, local.constData(), std::size_t(std::min<qsizetype>(local.size(), IFNAMSIZ - 1)));
    const bool up = control >= 0 && ::ioctl(control, SIOCGIFFLAGS, &flags) == 0 && (flags.ifr_flags & IFF_UP);
    if (control >= 0)
        ::close(control);
    return up;
}

bool TunDevice::receive(QByteArray &frame, uint16_t &protocol)
{
    char buffer[MaxPacket];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n < 0)
        return false;
    if (n < PacketInfoLength) {
        frame.clear();      // too short to carry packet information
        protocol = 0;
        return true;
    }
    protocol = uint16_t((uint8_t(buffer[2]) << 8) | uint8_t(buffer[3]));
    frame = QByteArray(buffer + PacketInfoLength, int(n - PacketInfoLength));
    return true;
}

bool TunDevice::send(const QByteArray &frame, uint16_t protocol)
{
    QByteArray packet(PacketInfoLength, '\0');
    packet[2] = char(protocol >> 8);
    packet[3] = char(protocol & 0xFF);
    packet += frame;
    return ::write(m_fd, packet.constData(), std::size_t(packet.size())) == packet.size();
}

} // namespace lonsim::usb
