#pragma once
// TBusWatch: tells when the process's bus connection has gone (the bus daemon ended or
// dropped the driver). The driver then ends instead of serving no one.

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

class TBusWatch : public QObject
{
    Q_OBJECT

public:
    explicit TBusWatch(const QDBusConnection &connection, QObject *parent = nullptr);

Q_SIGNALS:
    void Lost();

private Q_SLOTS:
    void OnDisconnected();

private:
    void Check();

    QDBusConnection FConnection;
    QTimer FTimer;
    bool FLost = false;
};
