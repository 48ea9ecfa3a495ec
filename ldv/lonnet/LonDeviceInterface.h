#pragma once
// A LON network device (lonN, a USB network interface under the Linux LON driver) behind
// one ldv handle. ldv_open brings the adapter to layer 5 (mode, flush-cancel, a local
// read of its Neuron ID as proof); from then on host frames pass both ways unchanged,
// except the adapter's own traffic (mode echoes, status, error reports), which stays
// here. After an adapter reset the mode is set again; a device that goes down or away is
// reopened by name, and until then reads and writes fail. While layer 5 is being set,
// writes answer LDV_NO_BUFF_AVAIL: the host writes again a moment later.

#include "ldv/lonnet/DeviceLink.h"
#include "ldv/OpenInterface.h"
#include "lontalk/HostQueue.h"

#include <QElapsedTimer>

#include <memory>

namespace ldv::lonnet {

struct LinkTiming {
    int answerMs = 1000;        // wait for the adapter's answer to the layer-5 check
    int tries = 3;              // checks before the adapter counts as not answering
    int reopenMs = 500;         // between attempts to reopen a lost device
};

class LonDeviceInterface : public OpenInterface {
public:
    LonDeviceInterface(QString name, QString device, std::unique_ptr<DeviceLink> link, LinkTiming timing = {});

    // Opens the device and runs the open sequence; an ldv status, why set on failure.
    short open(QString &why);

    short read(uint8_t *buffer, int length) override;
    short write(const uint8_t *bytes, int length) override;
    QString describe() const override;

    static constexpr int MaxQueued = 512;       // frames waiting for ldv_read
    static constexpr uint8_t CheckTag = 0;      // the layer-5 check's tag (never 15)

private:
    enum class State { Opening, Ready, Lost };
    qint64 now() const { return m_clock.elapsed(); }
    void service();
    void uplink(const QByteArray &bytes);
    void startCheck(bool withMode);
    void lose(const QString &why);
    // Opens the device again by name and starts the layer-5 check (Opening), or stays Lost.
    void reopen();
    bool sendRaw(const QByteArray &frame);
    void toHost(const QByteArray &frame);
    void say(const QString &text) const;

    QString m_name;
    QString m_device;
    std::unique_ptr<DeviceLink> m_link;
    LinkTiming m_timing;
    QElapsedTimer m_clock;
    State m_state = State::Lost;
    int m_triesLeft = 0;
    qint64 m_deadline = 0;          // Opening: end of the current check; Lost: next reopen
    bool m_checkPending = false;    // a late answer to the layer-5 check is still possible
    bool m_opened = false;          // reached layer 5 once: later losses are reported
    bool m_silent = false;          // the last check ran out of tries
    QString m_lostWhy;
    lontalk::HostQueue m_toHost{MaxQueued};
    struct Counters {
        quint64 down = 0, up = 0, resets = 0, errors = 0, dropped = 0, bad = 0, reopened = 0;
    } m_count;
};

} // namespace ldv::lonnet
