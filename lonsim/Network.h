#pragma once
// One simulated LonWorks channel: the devices of a network description with their running
// state, shared by every interface (handle) opened on it. It carries the host's
// transactions to the devices and schedules what comes back.

#include "lonsim/ChannelTimeline.h"
#include "lonsim/DeviceState.h"
#include "lonsim/FileTransfer.h"
#include "lonsim/Model.h"
#include "lonsim/Responder.h"
#include "lontalk/Wire.h"

#include "lontalk/ip852/LonFrame.h"
#include "lontalk/ip852/TidTable.h"

#include <QElapsedTimer>
#include <QList>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace lonsim {

class Interface;

class Network {
public:
    Network(NetworkModel model, QString key);
    ~Network();
    Network(const Network &) = delete;
    Network &operator=(const Network &) = delete;

    const QString &key() const { return m_key; }
    const NetworkModel &model() const { return m_model; }
    // Milliseconds and nanoseconds of the network's clock.
    qint64 now() const;
    qint64 nowNs() const;
    // Replaces the network's clock (milliseconds): tests step through receive timers with it.
    void setClockForTest(std::function<qint64()> clock) { m_testClock = std::move(clock); }
    // Replaces the clock of every network of the process that has no clock of its own
    // (microseconds); an empty function restores the system's.
    static void setProcessClockForTest(std::function<qint64()> nowUs);
    qint64 scaled(qint64 ms) const { return qint64(ms * m_model.timeScale); }
    double timeScale() const { return m_model.timeScale; }

    // The devices, one per device of the description.
    std::span<DeviceState> devices() { return {m_devices.data(), std::size_t(m_devices.size())}; }
    DeviceState *device(const QString &name);

    void attach(Interface *iface);
    void detach(Interface *iface);
    const QList<Interface *> &interfaces() const { return m_interfaces; }

    // A network message written by the host through iface: a transaction with a TID from
    // the network's table (shared by every handle, so that no destination gets the TID it
    // had last within the longest receive timer).
    void transact(Interface &from, const lontalk::wire::HostFrame &frame);
    // One transmission of the host's message with that TID, as the devices hear it: what
    // they answer is queued to iface, and its completion event; the time that event is
    // due. A retry of a transaction is the same message with the same TID.
    qint64 transmit(Interface &from, const lontalk::wire::HostFrame &frame, uint8_t tid);
    // The host's message as a LonTalk frame (no TID yet): what the devices' receive records see.
    ip852::LonFrame messageOf(const Interface &from, const lontalk::wire::HostFrame &frame) const;
    // Messages the devices send by themselves, up to now: file packets, bound updates.
    void advance();
    // Sends one update of the slot's value at time `at`, as a bound output does.
    void sendUnsolicited(DeviceState &device, NvSlot &slot, qint64 at);
    // Also hands every unsolicited update to listener: the device, the APDU code and data.
    using UpdateListener = std::function<void(DeviceState &, uint8_t code, const QByteArray &data)>;
    void setUpdateListener(UpdateListener listener) { m_updateListener = std::move(listener); }

    // Starts sending a file to sink after an update of the device's file-request variable
    // with value, heard on the domain domainId; a value starting with 2 only stops a transfer.
    void fileRequested(DeviceState &device, const QByteArray &value, const QByteArray &domainId, PacketSink &sink);
    // The host's acknowledgement of a block's last packet, addressed to subnet/node with tag.
    void fileAcknowledged(const PacketSink &sink, uint8_t subnet, uint8_t node, uint8_t tag);
    // Ends the transfers to sink (it goes away).
    void dropTransfers(const PacketSink &sink);

    // The channel the devices share: frames queue for it on a timed channel.
    const ChannelTimeline &channel() const { return m_channel; }
    void resetChannelCounts() { m_channel.resetCounts(nowNs()); }
    // Another channel than the description's (lonsim-channel --channel); counts start anew.
    void setChannel(const lontalk::channel::Channel &channel) { m_channel = ChannelTimeline(channel); }
    // A frame of frameBytes (CRC included) ready at readyNs goes on the channel: the time
    // its packet cycle ends (readyNs on an untimed channel).
    qint64 occupyChannel(qint64 readyNs, int frameBytes) { return m_channel.send(readyNs, frameBytes); }

    bool dirty() const { return m_dirty; }
    void setDirty(bool dirty) { m_dirty = dirty; }

private:
    struct Target {
        DeviceState *device;
        const DomainAddress *member;
    };
    QList<Target> targetsOf(const Interface &from, const lontalk::wire::HostFrame &frame);
    void applyUpdate(DeviceState &device, Interface &from, const lontalk::wire::HostFrame &frame, bool authenticated);
    // The device's challenge of a message sent with the authentication bit, answered by
    // the interface with its key for the domain: whether the reply is right; nullopt
    // when the interface has no key and sends no reply.
    std::optional<bool> authenticate(const Interface &from, const lontalk::wire::HostFrame &frame, DeviceState &device,
                                     const DomainAddress &member);
    void fileAcknowledged(Interface &from, const lontalk::wire::HostFrame &frame);
    // The time an answer (ACK or response with apdu) to message, sent by a device
    // readyNs, has reached the host; ms as the host queue counts.
    qint64 answerDue(const ip852::LonFrame &message, qint64 readyNs, bool response, const QByteArray &apdu);
    // A line on the channel's load in the trace, at most once a second while frames go.
    void traceLoad();

    NetworkModel m_model;
    QString m_key;
    QElapsedTimer m_clock;
    std::function<qint64()> m_testClock;
    ip852::TidTable m_tids;
    QList<DeviceState> m_devices;
    QList<Interface *> m_interfaces;
    std::vector<std::unique_ptr<FileTransfer>> m_transfers;
    UpdateListener m_updateListener;
    ChannelTimeline m_channel;
    qint64 m_nextLoadTrace = 0;
    qint64 m_framesTraced = 0;
    bool m_dirty = true;
};

// An NV index in the short (one byte) or escaped (0xFF, high, low) form; the index and
// the number of bytes it took, or nullopt when the data is too short.
std::optional<std::pair<int, int>> nvIndexOf(const QByteArray &data);

} // namespace lonsim
