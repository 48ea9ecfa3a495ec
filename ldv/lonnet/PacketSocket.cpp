#include "ldv/lonnet/PacketSocket.h"

#include "ldv/lonnet/NetDevices.h"
#include "lontalk/LinkFrames.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ldv::lonnet {

using namespace lontalk::link;

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Errors after which the socket never works again: the device went down or away.
bool lostDevice(int error)
{
    return error == ENETDOWN || error == ENXIO || error == ENODEV;
}

} // namespace

PacketSocket::~PacketSocket()
{
    close();
}

OpenResult PacketSocket::open(const QString &device, QString &why)
{
    close();
    switch (deviceState(device)) {
    case DeviceState::Missing:
        why = QStringLiteral("there is no network device %1").arg(device);
        return OpenResult::NoDevice;
    case DeviceState::Down:
        why = QStringLiteral("network device %1 is down").arg(device);
        return OpenResult::Down;
    case DeviceState::Up:
        break;
    }
    const unsigned index = if_nametoindex(device.toLocal8Bit().constData());
    if (index == 0) {
        why = QStringLiteral("there is no network device %1").arg(device);
        return OpenResult::NoDevice;
    }
    const int fd = ::socket(AF_PACKET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(PacketProtocol));
    if (fd < 0) {
        const int error = errno;
        why = QStringLiteral("cannot open a packet socket: %1").arg(systemError(error));
        return error == EPERM || error == EACCES ? OpenResult::Permission : OpenResult::Failed;
    }
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(PacketProtocol);
    address.sll_ifindex = int(index);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        why = QStringLiteral("cannot bind a packet socket to %1: %2").arg(device, systemError(error));
        return error == ENODEV ? OpenResult::NoDevice : error == ENETDOWN ? OpenResult::Down : OpenResult::Failed;
    }
    m_fd = fd;
    return OpenResult::Ok;
}

void PacketSocket::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

IoResult PacketSocket::send(const QByteArray &frame, QString &why)
{
    if (m_fd < 0)
        return IoResult::Lost;
    if (::send(m_fd, frame.constData(), std::size_t(frame.size()), MSG_DONTWAIT) == frame.size())
        return IoResult::Ok;
    const int error = errno;
    why = systemError(error);
    if (error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS)
        return IoResult::Full;
    return lostDevice(error) ? IoResult::Lost : IoResult::Failed;
}

IoResult PacketSocket::receive(QByteArray &frame, QString &why)
{
    if (m_fd < 0)
        return IoResult::Lost;
    char buffer[4 + MaxLinkData + 16];
    const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
    if (n >= 0) {
        // A frame larger than any the device sends is cut to the buffer; its length
        // byte then claims more than was kept and the parse refuses it.
        frame = QByteArray(buffer, int(std::min<ssize_t>(n, ssize_t(sizeof buffer))));
        return IoResult::Ok;
    }
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR)
        return IoResult::Empty;
    why = systemError(error);
    return lostDevice(error) ? IoResult::Lost : IoResult::Failed;
}

void PacketSocket::wait(int ms)
{
    if (m_fd < 0 || ms <= 0)
        return;
    pollfd p{m_fd, POLLIN, 0};
    ::poll(&p, 1, ms);
}

} // namespace ldv::lonnet
