#include "lontalk/ip852/UdpPort.h"

#include "lontalk/ip852/Packet.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ip852 {

namespace {

sockaddr_in toSockaddr(const Endpoint &e)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(e.ip);
    a.sin_port = htons(e.port);
    return a;
}

QString lastError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

QString Endpoint::toString() const
{
    return QStringLiteral("%1.%2.%3.%4:%5")
        .arg(ip >> 24)
        .arg((ip >> 16) & 0xFF)
        .arg((ip >> 8) & 0xFF)
        .arg(ip & 0xFF)
        .arg(port);
}

std::optional<Endpoint> Endpoint::parse(const QString &address, uint16_t port)
{
    in_addr parsed{};
    if (::inet_pton(AF_INET, address.trimmed().toLatin1().constData(), &parsed) != 1)
        return std::nullopt;
    return Endpoint{ntohl(parsed.s_addr), port};
}

UdpPort::~UdpPort()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool UdpPort::ensureOpen(QString &error)
{
    if (m_fd >= 0)
        return true;
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        error = lastError("socket");
        return false;
    }
    return true;
}

bool UdpPort::bind(const Endpoint &local, QString &error, bool shared)
{
    if (!ensureOpen(error))
        return false;
    const int on = 1;
    if (shared)
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in a = toSockaddr(local);
    if (::bind(m_fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0) {
        error = lastError("bind") + QStringLiteral(" (") + local.toString() + QLatin1Char(')');
        return false;
    }
    return true;
}

bool UdpPort::joinGroup(uint32_t group, uint32_t localIp, int hops, QString &error)
{
    if (!ensureOpen(error))
        return false;
    ip_mreq request{};
    request.imr_multiaddr.s_addr = htonl(group);
    request.imr_interface.s_addr = htonl(localIp);
    if (::setsockopt(m_fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0) {
        error = lastError("IP_ADD_MEMBERSHIP");
        return false;
    }
    return multicastSender(localIp, hops, error);
}

bool UdpPort::multicastSender(uint32_t localIp, int hops, QString &error)
{
    if (!ensureOpen(error))
        return false;
    const int ttl = std::clamp(hops, 1, 255);
    const int loop = 1;
    ::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    ::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
    if (localIp) {
        in_addr out{};
        out.s_addr = htonl(localIp);
        ::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out);
    }
    return true;
}

bool UdpPort::send(const QByteArray &datagram, const Endpoint &to)
{
    QString ignored;
    if (datagram.size() > MaxDatagram || !ensureOpen(ignored))
        return false;
    const sockaddr_in a = toSockaddr(to);
    return ::sendto(m_fd, datagram.constData(), std::size_t(datagram.size()), MSG_DONTWAIT,
                    reinterpret_cast<const sockaddr *>(&a), sizeof a)
           == datagram.size();
}

std::optional<QByteArray> UdpPort::receive(Endpoint &from)
{
    if (m_fd < 0)
        return std::nullopt;
    // Room for any UDP datagram, so that an oversized one is seen whole and refused by the parse.
    static thread_local char buffer[65536];
    sockaddr_in a{};
    socklen_t length = sizeof a;
    const ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&a), &length);
    if (n < 0)
        return std::nullopt;
    from = Endpoint{ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)};
    return QByteArray(buffer, int(n));
}

Endpoint UdpPort::local() const
{
    sockaddr_in a{};
    socklen_t length = sizeof a;
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &length) != 0)
        return {};
    return Endpoint{ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)};
}

} // namespace ip852
