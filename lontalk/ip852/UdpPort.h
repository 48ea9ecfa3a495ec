#pragma once
// A non-blocking UDP socket for an IP-852 channel, polled rather than driven by an event
// loop (the driver library has none): multicast receive with group membership and
// loop-back, or a unicast port.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace ip852 {

struct Endpoint {
    uint32_t ip = 0;            // host byte order
    uint16_t port = 0;
    bool operator==(const Endpoint &) const = default;
    QString toString() const;
    static std::optional<Endpoint> parse(const QString &address, uint16_t port);
};

class UdpPort {
public:
    UdpPort() = default;
    ~UdpPort();
    UdpPort(const UdpPort &) = delete;
    UdpPort &operator=(const UdpPort &) = delete;

    // Binds to local (ip 0 = any; port 0 = ephemeral); shared sets SO_REUSEADDR, which a
    // multicast receiver needs so that several on one host hear the group. False with error set.
    bool bind(const Endpoint &local, QString &error, bool shared = false);
    // Joins a multicast group on the interface of localIp (0 = default), TTL hops, loop-back on.
    bool joinGroup(uint32_t group, uint32_t localIp, int hops, QString &error);
    // Multicast sending without membership: outgoing interface of localIp (0 = default), TTL hops, loop-back on.
    bool multicastSender(uint32_t localIp, int hops, QString &error);

    bool send(const QByteArray &datagram, const Endpoint &to);
    // The next datagram waiting, without blocking; nullopt when there is none.
    std::optional<QByteArray> receive(Endpoint &from);

    Endpoint local() const;     // the bound address and port
    bool isOpen() const { return m_fd >= 0; }

private:
    bool ensureOpen(QString &error);
    int m_fd = -1;
};

} // namespace ip852
