#pragma once
// A USB LON network interface as a program sees it through the Linux LON driver's lonN
// device, in front of a simulated network: layer 2 after power-up and after every reset,
// layer 5 once the host asks for it; then the host's frames go to the network (a
// simulated layer-5 interface) and its answers come back. The two kernel modules differ
// in what reaches the socket, and the stand-in can be either:
//   u61 (parallel-USB): frames exact; status answered; mode changes not echoed;
//   u50 (serial-USB): one extra byte after every frame; mode changes echoed (D0/D1);
//        status answers kept by the module; responses under tag 15 dropped (its own).

#include "lonsim/Interface.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace lonsim::usb {

class UsbAdapter {
public:
    enum class Module { U50, U61 };
    UsbAdapter(Network &network, const QString &label, Module module);

    // A frame a program sent on the device; what goes up at once.
    QList<QByteArray> fromHost(const QByteArray &bytes);
    // The network's frames that are due, as they go up.
    QList<QByteArray> toHost();
    // A reset as after a power glitch: back to layer 2, the reset frame goes up.
    QList<QByteArray> reset();
    // The device was brought up again: the module starts the link anew, in layer 2.
    void linkRestarted() { m_layer5 = false; }

    bool layer5() const { return m_layer5; }
    Module module() const { return m_module; }
    // Frames the adapter did not take: malformed, unknown, or messages while in layer 2.
    int ignored() const { return m_ignored; }

private:
    QByteArray up(QByteArray classic);
    QByteArray twoBytes(uint8_t command);

    Interface m_iface;
    Module m_module;
    bool m_layer5 = false;
    int m_ignored = 0;
    uint8_t m_trailer = 0;
};

} // namespace lonsim::usb
