#pragma once
// The bus a client reaches the driver on: the user's session bus (a driver of the user's
// own, started by D-Bus activation or by hand), or the system bus, where the driver runs
// as a system service for root and the members of the group lonworks.

#include <QDBusConnection>
#include <QString>

enum class TDriverBus { Session, System };

// "session" or "system", letter case aside; false for anything else.
bool ParseDriverBus(const QString &text, TDriverBus &bus);
// "session" or "system".
QString DriverBusName(TDriverBus bus);
// The bus clients take when they are not told: $LONWORKS_BUS ("session" or "system")
// when set, else the session bus. False with problem set when LONWORKS_BUS names neither.
bool DefaultDriverBus(TDriverBus &bus, QString &problem);
// The connection to that bus (not connected when the bus cannot be reached).
QDBusConnection DriverBusConnection(TDriverBus bus);
