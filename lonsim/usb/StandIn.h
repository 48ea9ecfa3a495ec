#pragma once
// lonsim-usb's core: the TUN device and the adapter behind it, served from the event
// loop. Frames of other protocols the kernel sends on the device (an IPv6 router
// solicitation when it comes up) are ignored, as the adapter never sees them.

#include "lonsim/usb/StandInOptions.h"
#include "lonsim/usb/TunDevice.h"
#include "lonsim/usb/UsbAdapter.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

namespace lonsim::usb {

class StandIn : public QObject {
    Q_OBJECT
public:
    StandIn(Network &network, const StandInOptions &options, QObject *parent = nullptr);
    bool start(QString &error);
    QString description() const;
    // The adapter resets (SIGUSR1).
    void resetAdapter();

private:
    void fromKernel();
    // Whether the device was brought up again since the last look: the module then starts
    // the link to the adapter anew, which leaves it in layer 2.
    void followLink();
    void sendUp(const QList<QByteArray> &frames);

    Network &m_network;
    StandInOptions m_options;
    TunDevice m_tun;
    UsbAdapter m_adapter;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_up = true;
    QTimer m_tick;
    QTimer m_control;
};

} // namespace lonsim::usb
