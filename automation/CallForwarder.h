#pragma once
// TCallForwarder: takes the calls that reach driver objects on the bus connection's
// thread to the class factory on the main thread, in the order they came, and counts
// those not answered yet. The bus thread answers a status poll itself only while none is
// waiting, so a client's later call never overtakes its earlier ones. Once closed (the
// factory is going) it takes no more.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMutex>
#include <QString>

#include <atomic>

class TClassFactory;

class TCallForwarder
{
public:
    explicit TCallForwarder(TClassFactory *factory) : FFactory(factory) {}
    TCallForwarder(const TCallForwarder &) = delete;
    TCallForwarder &operator=(const TCallForwarder &) = delete;

    // Any thread: hands the call for the object at path to the factory; false once closed.
    bool Forward(const QString &path, const QDBusMessage &call, const QDBusConnection &bus);
    // Main thread: a forwarded call is answered and its effects are published.
    void Answered() { FUnanswered.fetch_sub(1, std::memory_order_acq_rel); }
    // No forwarded call is waiting or running.
    bool Idle() const { return FUnanswered.load(std::memory_order_acquire) == 0; }
    // Main thread: the factory is going; later calls are refused.
    void Close();

private:
    QMutex FMutex;
    TClassFactory *FFactory;
    std::atomic<int> FUnanswered{0};
};
