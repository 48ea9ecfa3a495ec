#include "automation/BusWatch.h"

namespace {
constexpr int kCheckIntervalMs = 250;
}

TBusWatch::TBusWatch(const QDBusConnection &connection, QObject *parent)
    : QObject(parent), FConnection(connection)
{
    // libdbus reports the end of the connection as the local Disconnected signal; the
    // timer is there for a loss that arrives without it.
    FConnection.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                        QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"),
                        this, SLOT(OnDisconnected()));
    FTimer.setInterval(kCheckIntervalMs);
    connect(&FTimer, &QTimer::timeout, this, &TBusWatch::Check);
    FTimer.start();
}

void TBusWatch::OnDisconnected()
{
    if (FLost)
        return;
    FLost = true;
    FTimer.stop();
    Q_EMIT Lost();
}

void TBusWatch::Check()
{
    if (!FConnection.isConnected())
        OnDisconnected();
}
