#pragma once
// The simulator's USB adapter stand-in behind the LON device interface, in process: a
// DeviceLink whose device can be missing, down, refused, plugged out and in again.

#include "ldv/lonnet/DeviceLink.h"
#include "lonsim/usb/UsbAdapter.h"

#include <QElapsedTimer>
#include <QThread>

#include <deque>
#include <memory>

class TAdapterLink : public ldv::lonnet::DeviceLink
{
public:
    enum class TDevice { Present, Missing, Down, Refused, Mute };

    TAdapterLink(lonsim::Network &network, lonsim::usb::UsbAdapter::Module module)
        : FNetwork(network), FModule(module)
    {
        PlugIn();
    }

    // A new adapter on the device (as after the device was made again).
    void PlugIn()
    {
        FAdapter = std::make_unique<lonsim::usb::UsbAdapter>(FNetwork, QStringLiteral("lon0"), FModule);
        FDevice = TDevice::Present;
    }
    // The device goes away: the open socket never works again.
    void PlugOut()
    {
        FAdapter.reset();
        FDevice = TDevice::Missing;
        FGeneration++;
    }
    void SetDevice(TDevice device) { FDevice = device; }
    lonsim::usb::UsbAdapter *Adapter() { return FAdapter.get(); }
    void Reset()
    {
        for (const QByteArray &f : FAdapter->reset())
            FUp.push_back(f);
    }

    QList<QByteArray> Down;     // every frame sent, in order
    int Opens = 0;

    ldv::lonnet::OpenResult open(const QString &, QString &why) override
    {
        using ldv::lonnet::OpenResult;
        ++Opens;
        switch (FDevice) {
        case TDevice::Missing:
            why = QStringLiteral("there is no network device lon0");
            return OpenResult::NoDevice;
        case TDevice::Down:
            why = QStringLiteral("network device lon0 is down");
            return OpenResult::Down;
        case TDevice::Refused:
            why = QStringLiteral("cannot open a packet socket: Operation not permitted");
            return OpenResult::Permission;
        default:
            FOpenGeneration = FGeneration;
            FOpen = true;
            return OpenResult::Ok;
        }
    }
    void close() override { FOpen = false; }
    bool isOpen() const override { return FOpen; }
    ldv::lonnet::IoResult send(const QByteArray &frame, QString &why) override
    {
        if (!Usable()) {
            why = QStringLiteral("No such device or address");
            return ldv::lonnet::IoResult::Lost;
        }
        Down.append(frame);
        if (FDevice != TDevice::Mute)
            for (const QByteArray &f : FAdapter->fromHost(frame))
                FUp.push_back(f);
        return ldv::lonnet::IoResult::Ok;
    }
    ldv::lonnet::IoResult receive(QByteArray &frame, QString &why) override
    {
        if (!Usable()) {
            why = QStringLiteral("Network is down");
            return ldv::lonnet::IoResult::Lost;
        }
        if (FUp.empty() && FDevice != TDevice::Mute)
            for (const QByteArray &f : FAdapter->toHost())
                FUp.push_back(f);
        if (FUp.empty())
            return ldv::lonnet::IoResult::Empty;
        frame = FUp.front();
        FUp.pop_front();
        return ldv::lonnet::IoResult::Ok;
    }
    void wait(int ms) override
    {
        QElapsedTimer timer;
        timer.start();
        while (FUp.empty() && timer.elapsed() < ms) {
            if (Usable() && FDevice != TDevice::Mute)
                for (const QByteArray &f : FAdapter->toHost())
                    FUp.push_back(f);
            if (FUp.empty())
                QThread::msleep(1);
        }
    }

private:
    bool Usable() const { return FOpen && FAdapter && FOpenGeneration == FGeneration; }

    lonsim::Network &FNetwork;
    lonsim::usb::UsbAdapter::Module FModule;
    std::unique_ptr<lonsim::usb::UsbAdapter> FAdapter;
    std::deque<QByteArray> FUp;
    TDevice FDevice = TDevice::Present;
    bool FOpen = false;
    int FGeneration = 0;
    int FOpenGeneration = -1;
};
