#pragma once
// TDriverBusObject: one driver object of the process, on the main thread. It answers the
// calls its bus front (TDriverBusFront) forwards: only its owner's connection may call
// it; it turns bus variants into parameter lists and back, and keeps every failure
// inside: a client never crashes the server.

#include "automation/QelLonWorksCom.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class TSiteStatusBoard;

class TDriverBusObject : public QObject
{
    Q_OBJECT

public:
    // owner: the unique bus name of the creating connection.
    TDriverBusObject(TSiteRegistry *registry, const QString &owner, QObject *parent = nullptr);
    ~TDriverBusObject() override;

    const QString &Owner() const { return FOwner; }
    TQelLonWorksCom &Driver() { return *FDriver; }

    // The reply to one call of QelDevice.IQelDeviceDriver or QelLonWorks.Object.
    QDBusMessage Answer(const QDBusMessage &call);
    // The status board of the site the object is attached to; none while it has none.
    std::shared_ptr<const TSiteStatusBoard> StatusBoard() const;

    // Runs the object's release now, or once the call under way has returned.
    void ReleaseNow();
    bool Released() const { return FReleased; }

    // Called once the object has been released (the factory drops it then); none clears it.
    void SetReleaseHandler(std::function<void(TDriverBusObject *)> handler) { FOnReleased = std::move(handler); }

private:
    // Runs operation on the call's parameter list and replies with what it gives; with
    // failure when the request is no parameter list or the operation failed; with
    // org.freedesktop.DBus.Error.LimitsExceeded when a limit was reached.
    QDBusMessage Run(const QDBusMessage &call, const QVariant &failure,
                     const std::function<QVariant(const QVariant &)> &operation);
    void FinishRelease();

    QString FOwner;
    std::function<void(TDriverBusObject *)> FOnReleased;
    std::unique_ptr<TQelLonWorksCom> FDriver;
    int FCallDepth = 0;
    bool FReleasePending = false;
    bool FReleased = false;
};
