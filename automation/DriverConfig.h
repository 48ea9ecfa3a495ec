#pragma once
// The driver's own configuration file for an installation: /etc/lonworks/driver.json (or
// the file LONWORKS_DRIVER_CONFIG names). JSON with two optional keys:
//   "bus": "session" or "system"   the bus to serve when no switch says (a driver the bus
//                                  started serves that bus)
//   "library": "/path/libldv32.so" the driver library, unless LDV32_LIBRARY is set
// A missing file is no fault; a malformed one stops the driver with the reason.

#include "automation/StartMode.h"

#include <QString>

#include <optional>

struct TDriverConfig
{
    std::optional<TServeBus> Bus;
    QString Library;
};

QString DriverConfigPath();
// False with problem naming the file and the fault.
bool LoadDriverConfig(const QString &path, TDriverConfig &config, QString &problem);
