#pragma once
// One simulated device as a LonTalk node on an IP-852 channel: it picks out the frames
// addressed to it, checks the device's receive records (a repeated message is never
// delivered twice; the stored ACK or RESPONSE is sent again), answers through the device
// model with the device's behaviour switches, challenges messages sent with the
// authentication bit (held until the sender's reply checks out against the device's key
// for the domain), and sends its own messages: file packets and updates.

#include "lonsim/channel/FrameOutput.h"

#include "lonsim/FileTransfer.h"
#include "lonsim/Network.h"

#include "lontalk/ip852/Challenges.h"
#include "lontalk/ip852/LonFrame.h"
#include "lontalk/ip852/TidTable.h"

#include <QList>

namespace lonsim::channel {

struct NodeCounters {
    int delivered = 0;      // messages handed to the device model
    int duplicates = 0;     // repeats caught by a receive record
    int resent = 0;         // stored answers sent again
};

class ChannelNode : public PacketSink {
public:
    ChannelNode(Network &network, DeviceState &device, FrameOutput &output);

    DeviceState &device() const { return m_device; }
    const NodeCounters &counters() const { return m_counters; }

    // A frame heard on the channel (any destination).
    void receive(const ip852::LonFrame &frame);
    // An update of a bound output: an acknowledged NV update to every host heard so far.
    void sendUpdate(uint8_t code, const QByteArray &data);

    uint8_t sendFilePacket(qint64 due, bool request, bool resend, const QByteArray &payload,
                           const lontalk::wire::Endpoint &source, const lontalk::wire::Endpoint &destination) override;

private:
    struct Host {
        QByteArray domain;
        uint8_t subnet = 0;
        uint8_t node = 0;
        bool operator==(const Host &) const = default;
    };

    bool addressedTo(const ip852::LonFrame &frame, const DomainAddress &me) const;
    // authenticated: its sender answered our challenge with the domain's key.
    void deliver(const ip852::LonFrame &frame, const DomainAddress &me, bool authenticated);
    void challenge(const ip852::LonFrame &frame, const DomainAddress &me);
    void authReplyReceived(const ip852::LonFrame &reply, const DomainAddress &me);
    void answerRequest(const ip852::LonFrame &frame, const DomainAddress &me);
    void acknowledge(const ip852::LonFrame &frame, const DomainAddress &me);
    void replyReceived(const ip852::LonFrame &frame, const DomainAddress &me);
    void rememberHost(const ip852::LonFrame &frame);
    // Sends answer (copies times) after the device's delay; the record of request keeps it
    // for repeats unless keep is false.
    void sendAnswer(const ip852::LonFrame &request, const QByteArray &answer, int copies, bool lyingSize, bool keep);
    // When an answer of answerBytes sent after the device's delay has crossed the channel (ms).
    qint64 due(int answerBytes);

    Network &m_network;
    DeviceState &m_device;
    FrameOutput &m_output;
    ip852::TidTable m_tids;
    ip852::Challenges m_challenges;     // messages held while their senders are challenged
    QList<Host> m_hosts;
    QByteArray m_fileDomain;
    int m_fileTid = -1;
    NodeCounters m_counters;
    qint64 m_heardNs = 0;       // when the message being handled had crossed the channel
};

// The reply (ACK or RESPONSE) to message from `me`: form 2a back to its source, same
// domain, priority and TID.
ip852::LonFrame replyTo(const ip852::LonFrame &message, const DomainAddress &me, bool response,
                        const QByteArray &apdu = {});

} // namespace lonsim::channel
