#pragma once
// One simulated network interface, the far side of one ldv handle: its domain table, its
// local commands (read-only structure, query and update domain) and its receive queue,
// in which every frame waits until the time it is due.

#include "lonsim/FileTransfer.h"
#include "lonsim/Model.h"
#include "lontalk/HostQueue.h"
#include "lontalk/Wire.h"

#include <QByteArray>
#include <QString>

namespace lonsim {

class Network;

struct DomainEntry {
    DomainAddress address;
    QByteArray authKey = QByteArray(6, '\0');
    bool hasKey = false;        // a key was given: the interface answers challenges in this domain
};

class Interface : public PacketSink {
public:
    Interface(Network &network, QString label);
    ~Interface() override;
    Interface(const Interface &) = delete;
    Interface &operator=(const Interface &) = delete;

    Network &network() const { return m_network; }
    const QString &label() const { return m_label; }
    const DomainEntry &domain(int index) const { return m_domains[std::size_t(index & 1)]; }
    // The domain index (0 or 1) on which a member of domainId is heard; -1 if none.
    int domainIndexOf(const QByteArray &domainId) const;

    // ldv_write: a frame from the host; false when its length bytes disagree with its length.
    bool write(const uint8_t *bytes, int length);
    // ldv_read: the next due frame into buffer.
    lontalk::HostRead read(uint8_t *buffer, int length);

    void enqueue(qint64 due, const QByteArray &frame);
    uint8_t nextIncomingTag();
    uint8_t sendFilePacket(qint64 due, bool request, bool resend, const QByteArray &payload,
                           const lontalk::wire::Endpoint &source, const lontalk::wire::Endpoint &destination) override;
    int pending() const { return m_queue.size(); }

private:
    void local(const lontalk::wire::HostFrame &frame);
    std::optional<QByteArray> localAnswer(const lontalk::wire::HostFrame &frame, uint8_t &code);

    Network &m_network;
    QString m_label;
    DomainEntry m_domains[2];
    QByteArray m_readOnly;
    lontalk::HostQueue m_queue;
    uint8_t m_incomingTag = 0;
    int m_localSeen[3] = {};
};

} // namespace lonsim
