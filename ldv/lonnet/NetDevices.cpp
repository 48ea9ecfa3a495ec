#include "ldv/lonnet/NetDevices.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ldv::lonnet {

bool isLonDeviceName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^lon[0-9]{1,4}$"));
    return pattern.match(name).hasMatch();
}

DeviceState deviceState(const QString &name)
{
    const QByteArray local = name.toLocal8Bit();
    if (local.isEmpty() || local.size() >= IFNAMSIZ || if_nametoindex(local.constData()) == 0)
        return DeviceState::Missing;
    // Any socket answers the interface ioctls; a datagram socket needs no privilege.
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return DeviceState::Down;
    ifreq request{};
    std::memcpy(request.ifr_name, local.constData(), std::size_t(local.size()));
    const int status = ::ioctl(fd, SIOCGIFFLAGS, &request);
    ::close(fd);
    if (status != 0)
        return DeviceState::Missing;
    return (request.ifr_flags & IFF_UP) ? DeviceState::Up : DeviceState::Down;
}

QList<NetDevice> lonDevices()
{
    QList<NetDevice> devices;
    struct if_nameindex *all = ::if_nameindex();
    if (!all)
        return devices;
    for (const struct if_nameindex *i = all; i->if_index != 0 && i->if_name; ++i) {
        const QString name = QString::fromLocal8Bit(i->if_name);
        if (isLonDeviceName(name))
            devices.append({name, deviceState(name) == DeviceState::Up});
    }
    if_freenameindex(all);
    std::sort(devices.begin(), devices.end(), [](const NetDevice &a, const NetDevice &b) {
        return a.name.mid(3).toInt() < b.name.mid(3).toInt();
    });
    return devices;
}

} // namespace ldv::lonnet
