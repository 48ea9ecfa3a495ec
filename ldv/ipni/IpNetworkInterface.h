#pragma once
// The software network interface on an IP-852 channel behind one ldv handle: it turns the
// host's explicit-message frames into LonTalk packets and back, answers the local commands
// itself, and is served from ldv_read/ldv_write (no thread of its own, sockets polled).

#include "ldv/InterfaceClock.h"
#include "ldv/InterfaceTable.h"
#include "ldv/ipni/HostFrames.h"
#include "ldv/ipni/IpChannel.h"
#include "ldv/ipni/Transactions.h"
#include "ldv/OpenInterface.h"
#include "lontalk/ip852/Challenges.h"
#include "lontalk/HostQueue.h"
#include "lontalk/ip852/ReceiveRecords.h"

#include <memory>

namespace ldv::ni {

class IpNetworkInterface : public OpenInterface {
public:
    // clock: the time source of every timer and of the transaction IDs (the system's
    // monotonic clock when empty; a test passes a fake one).
    IpNetworkInterface(QString name, const IpChannelConfig &config, InterfaceClock clock = {});
    // Joins the channel; false with error set.
    bool open(QString &error);

    short read(uint8_t *buffer, int length) override;
    short write(const uint8_t *bytes, int length) override;
    QString describe() const override;

    // Receives, runs the timers and sends what is due; every entry calls it.
    void service();
    ~IpNetworkInterface() override;
    static constexpr int MaxQueued = 512;       // frames waiting for ldv_read
    static constexpr int JoinWaitMs = 2000;     // ldv_open waits for the configuration server's list

private:
    struct PendingRequest {
        ip852::LonFrame request;
        uint8_t domainIndex = 0;
        bool used = false;
    };
    int64_t now() const { return m_clock(); }
    void toHost(const QByteArray &frame);
    void sendFrame(const ip852::LonFrame &frame);
    void received(const QByteArray &bytes);
    void incoming(const ip852::LonFrame &frame, uint8_t domainIndex);
    void deliver(const ip852::LonFrame &frame, uint8_t domainIndex, bool authenticated);
    void challenge(const ip852::LonFrame &frame, uint8_t domainIndex, int64_t now);
    void challengeReceived(const ip852::LonFrame &challenge);
    void authReplyReceived(const ip852::LonFrame &reply, uint8_t domainIndex);
    void trace(const QString &line) const;
    void respond(const HostMessage &message);
    void local(const HostMessage &message);
    ip852::LonFrame outgoingFrame(const HostMessage &message) const;
    int domainIndexOf(const QByteArray &domain) const;
    bool addressedToUs(const ip852::LonFrame &frame, uint8_t domainIndex) const;
    ip852::LonFrame replyTo(const ip852::LonFrame &request, uint8_t domainIndex) const;

    QString m_name;
    IpChannelConfig m_config;
    IpDomainSetting m_domains[2];
    QByteArray m_readOnly;
    std::shared_ptr<IpChannel> m_channel;
    int m_reader = 0;
    InterfaceClock m_clock;
    std::shared_ptr<InterfaceTids> m_tids;
    std::unique_ptr<Transactions> m_transactions;
    ip852::ReceiveRecords m_records;
    PendingRequest m_pending[16];
    ip852::Challenges m_challenges;     // messages held while their senders are challenged
    uint8_t m_nextTag = 0;
    lontalk::HostQueue m_toHost{MaxQueued};
};

} // namespace ldv::ni
