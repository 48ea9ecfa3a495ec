#pragma once
// The command line of lonip-config-server: the channel file, the state file, and the
// optional trace and capture files.

#include <QString>
#include <QStringList>

#include <optional>

namespace lonsim::configserver {

struct ServerOptions {
    enum Request { Serve, ShowHelp, ShowVersion };
    Request request = Serve;
    QString helpText;
    QString channelFile;
    QString stateFile;          // default: defaultStatePath(channelFile)
    QString trace;
    QString pcap;
};

// nullopt with error set when the arguments (argv without the program name) are not usable.
std::optional<ServerOptions> parseServerOptions(const QStringList &arguments, QString &error);

} // namespace lonsim::configserver
