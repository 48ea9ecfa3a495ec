#pragma once
// A driver the bus started has the bus's environment, not the client's: LONSIM_PATH,
// LDV_INTERFACES or LDV32_LIBRARY set for lonctl never reach it. When lonctl has one of
// them set and the driver it reached was started by the bus without it, it says so and
// how to hand the setting to the bus.

#include "client/DriverBus.h"

#include <QDBusConnection>
#include <QString>

// The note for the user (several lines), empty when there is nothing to say: none of the
// settings is set here, the driver was started by hand, or it has the same values.
QString ActivationEnvironmentNote(const QDBusConnection &bus, TDriverBus kind,
                                  const QString &driverName);
