#pragma once
// The LON network devices of this machine (network namespace): lon0, lon1, ... as the
// Linux LON driver names them, and whether one is there and up.

#include <QList>
#include <QString>

namespace ldv::lonnet {

enum class DeviceState { Missing, Down, Up };

struct NetDevice {
    QString name;
    bool up = false;
};

// "lon" followed by digits, in lower case, as the kernel spells the devices.
bool isLonDeviceName(const QString &name);

DeviceState deviceState(const QString &name);

// Every device whose name isLonDeviceName, sorted by number.
QList<NetDevice> lonDevices();

} // namespace ldv::lonnet
