#pragma once
// TDriverBusObject: one driver object as it appears on the bus at /QelLonWorksCom/<n>.
// It lets only its owner's connection call it, turns bus variants into parameter lists
// and back, and keeps every failure inside: a client never crashes the server.

#include "automation/QelLonWorksCom.h"

#include <QDBusContext>
#include <QDBusVariant>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class TLimitExceeded;

class TDriverBusObject : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    // owner: the unique bus name of the creating connection.
    TDriverBusObject(TSiteRegistry *registry, const QString &owner, QObject *parent = nullptr);
    ~TDriverBusObject() override;

    const QString &Owner() const { return FOwner; }
    TQelLonWorksCom &Driver() { return *FDriver; }

    // Runs the object's release now, or once the call under way has returned.
    void ReleaseNow();
    bool Released() const { return FReleased; }

    // Called once the object has been released (the factory drops it then); none clears it.
    void SetReleaseHandler(std::function<void(TDriverBusObject *)> handler) { FOnReleased = std::move(handler); }

public Q_SLOTS:
    bool Setup(const QDBusVariant &request);
    bool Connect(const QDBusVariant &request);
    bool Disconnect(const QDBusVariant &request);
    QDBusVariant GetValue(const QDBusVariant &request);
    QDBusVariant PutValue(const QDBusVariant &request);
    // QelLonWorks.Object.Release: the owner drops its reference.
    void Release();

private:
    bool CallerIsOwner();
    // Answers the call with org.freedesktop.DBus.Error.LimitsExceeded.
    void RefuseForLimit(const TLimitExceeded &limit);
    bool RunBoolean(bool (TQelLonWorksCom::*operation)(const QVariant &),
                    const QDBusVariant &request);
    QDBusVariant RunAnswer(QVariant (TQelLonWorksCom::*operation)(const QVariant &),
                           const QDBusVariant &request);
    void FinishRelease();

    QString FOwner;
    std::function<void(TDriverBusObject *)> FOnReleased;
    std::unique_ptr<TQelLonWorksCom> FDriver;
    int FCallDepth = 0;
    bool FReleasePending = false;
    bool FReleased = false;
};
