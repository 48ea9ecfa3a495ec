#pragma once
// What the LON device interface needs of the device it talks to: open it by name, send
// and receive one frame at a time without blocking, wait for a frame. PacketSocket is the
// real one; tests put the simulator's adapter behind it.

#include <QByteArray>
#include <QString>

namespace ldv::lonnet {

enum class OpenResult { Ok, NoDevice, Down, Permission, Failed };
enum class IoResult { Ok, Empty, Full, Lost, Failed };

class DeviceLink {
public:
    virtual ~DeviceLink() = default;
    // Opens the named device; on failure why says what the system said.
    virtual OpenResult open(const QString &device, QString &why) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // One frame down / up. receive() never blocks: Empty when nothing waits.
    virtual IoResult send(const QByteArray &frame, QString &why) = 0;
    virtual IoResult receive(QByteArray &frame, QString &why) = 0;
    // Waits at most ms for a frame to arrive (returns earlier when one does).
    virtual void wait(int ms) = 0;
};

} // namespace ldv::lonnet
