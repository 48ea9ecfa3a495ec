#pragma once
// lonip-config-server's event loop side: the UDP socket on the channel file's address,
// the server's timers, the channel file watched and read again when it changes (or on
// SIGHUP), the state file saved shortly after every change and at the end.

#include "lonsim/configserver/ConfigServer.h"
#include "lonsim/configserver/ServerOptions.h"

#include "lonsim/channel/PcapWriter.h"

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

#include <memory>

namespace lonsim::configserver {

class ServerProcess : public QObject {
    Q_OBJECT
public:
    explicit ServerProcess(ServerOptions options, QObject *parent = nullptr);
    ~ServerProcess() override;

    // Reads the channel and state files, binds the socket and adopts the members; false
    // with error set.
    bool start(QString &error);
    // "channel <file> on <address:port>, <n> member(s)": what the ready line says.
    QString description() const;
    // Reads the channel file again; a file that no longer parses is reported and ignored.
    void reload();
    // Saves the state now; false with error set.
    bool saveState(QString &error);

private:
    void readPending();
    void sendDatagram(const QByteArray &datagram, const ip852::Endpoint &to);
    void watch();
    int64_t now() const { return m_clock.elapsed(); }

    ServerOptions m_options;
    std::unique_ptr<ConfigServer> m_server;
    QUdpSocket m_socket;
    QTimer m_tick;
    QTimer m_save;
    QFileSystemWatcher m_watcher;
    channel::PcapWriter m_pcap;
    QElapsedTimer m_clock;
};

} // namespace lonsim::configserver
