// lonsim-channel: puts the devices of a simulated network on an IP-852 channel.

#include "lonsim/channel/ChannelOptions.h"
#include "lonsim/channel/ChannelServer.h"
#include "lonsim/channel/NetworkSource.h"
#include "lonsim/channel/SignalWatch.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lonsim-channel"));
    using namespace lonsim::channel;
    QString error;
    const auto options = parseChannelOptions(QCoreApplication::arguments().mid(1), error);
    if (!options) {
        std::fprintf(stderr, "lonsim-channel: %s\n", qPrintable(error));
        return 2;
    }
    if (options->request == ChannelOptions::ShowHelp) {
        std::fputs(qPrintable(options->helpText), stdout);
        return 0;
    }
    if (options->request == ChannelOptions::ShowVersion) {
        std::puts("lonsim-channel 1.80");
        return 0;
    }
    // The control channel and the frame trace read their folder and file from these.
    if (!options->control.isEmpty())
        qputenv("LONSIM_CONTROL", options->control.toLocal8Bit());
    if (!options->trace.isEmpty())
        qputenv("LONSIM_TRACE", options->trace.toLocal8Bit());
    lonsim::Network *network = openNetwork(options->network, error);
    if (!network) {
        std::fprintf(stderr, "lonsim-channel: %s\n", qPrintable(error));
        return 1;
    }
    if (options->channel)
        network->setChannel(*options->channel);
    ChannelServer server(*network, *options);
    if (!server.start(error)) {
        std::fprintf(stderr, "lonsim-channel: %s\n", qPrintable(error));
        return 1;
    }
    watchTerminationSignals(&app);
    std::printf("lonsim-channel: ready: %s\n", qPrintable(server.description()));
    std::fflush(stdout);
    const int status = app.exec();
    std::fprintf(stderr, "lonsim-channel: stopped\n");
    return status;
}
