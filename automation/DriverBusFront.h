#pragma once
// TDriverBusFront: a driver object as the bus calls it, at /QelLonWorksCom/<n>. It lives
// on the bus connection's own thread. A status poll of the object's owner (GetValue with
// COMMAND=COMMANDSTATUS) that only reads the command slot is answered there, from the
// slot its site last published, without waiting for the main thread; every other call
// goes on, in order, to the driver object on the main thread, which answers it.

#include <QDBusContext>
#include <QDBusVariant>
#include <QMutex>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class TCallForwarder;
class TSiteClient;
class TSiteStatusBoard;

class TDriverBusFront : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    // client: the driver object as its site knows it, compared with the slot's holders
    // and never used otherwise.
    TDriverBusFront(const QString &path, const QString &owner, const TSiteClient *client,
                    std::shared_ptr<TCallForwarder> forwarder);
    ~TDriverBusFront() override;

    // Main thread, after each call: the status board of the site the object is attached
    // to, none while it has none.
    void SetStatusBoard(std::shared_ptr<const TSiteStatusBoard> board);

public Q_SLOTS:
    bool Setup(const QDBusVariant &request);
    bool Connect(const QDBusVariant &request);
    bool Disconnect(const QDBusVariant &request);
    QDBusVariant GetValue(const QDBusVariant &request);
    QDBusVariant PutValue(const QDBusVariant &request);
    void Release();

private:
    // The answer of a status poll that can be given here; none when the main thread must.
    std::optional<QDBusVariant> StatusAnswer(const QDBusVariant &request);
    // The call is answered later, from the main thread.
    void Forward();

    const QString FPath;
    const QString FOwner;
    const TSiteClient *const FClient;
    const std::shared_ptr<TCallForwarder> FForwarder;
    QMutex FMutex;
    std::shared_ptr<const TSiteStatusBoard> FBoard;
};
