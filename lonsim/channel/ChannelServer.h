#pragma once
// lonsim-channel's core: the devices of one simulated network as LonTalk nodes on an
// IP-852 channel. It hands every frame heard to the nodes, sends their frames when due,
// runs the devices' own messages (file packets, bound updates) and the control channel.

#include "lonsim/channel/ChannelLink.h"
#include "lonsim/channel/ChannelNode.h"
#include "lonsim/channel/FrameOutput.h"
#include "lonsim/channel/PcapWriter.h"

#include <QObject>
#include <QTimer>
#include <map>
#include <memory>
#include <vector>

namespace lonsim::channel {

class ChannelServer : public QObject, public FrameOutput {
    Q_OBJECT
public:
    ChannelServer(Network &network, const ChannelOptions &options, QObject *parent = nullptr);
    ~ChannelServer() override;

    bool start(QString &error);
    // "<network> on <address:port> (<mode>)": what the ready line says.
    QString description() const;

    void transmit(qint64 due, const QList<QByteArray> &frames, bool lyingSize, std::function<void()> sent) override;

    const ChannelLink &link() const { return m_link; }
    const std::vector<std::unique_ptr<ChannelNode>> &nodes() const { return m_nodes; }

private:
    struct Outgoing {
        QList<QByteArray> frames;
        bool lyingSize = false;
        std::function<void()> sent;
    };
    void frameIn(const ip852::LonFrame &frame, const QByteArray &bytes);
    void sendDue();
    void armSendTimer();

    Network &m_network;
    ChannelOptions m_options;
    ChannelLink m_link;
    PcapWriter m_pcap;
    QString m_label;
    std::vector<std::unique_ptr<ChannelNode>> m_nodes;
    std::map<std::pair<qint64, quint64>, Outgoing> m_queue;
    quint64 m_queued = 0;
    QTimer m_sendTimer;
    QTimer m_tick;
    QTimer m_control;
};

} // namespace lonsim::channel
