// lonip-config-server: the configuration server of a unicast LonWorks/IP channel.

#include "lonsim/configserver/ServerOptions.h"
#include "lonsim/configserver/ServerProcess.h"
#include "lonsim/channel/SignalWatch.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lonip-config-server"));
    using namespace lonsim::configserver;
    QString error;
    const auto options = parseServerOptions(QCoreApplication::arguments().mid(1), error);
    if (!options) {
        std::fprintf(stderr, "lonip-config-server: %s\n", qPrintable(error));
        return 2;
    }
    if (options->request == ServerOptions::ShowHelp) {
        std::fputs(qPrintable(options->helpText), stdout);
        return 0;
    }
    if (options->request == ServerOptions::ShowVersion) {
        std::puts("lonip-config-server 1.80");
        return 0;
    }
    if (!options->trace.isEmpty())
        qputenv("LONSIM_TRACE", options->trace.toLocal8Bit());
    ServerProcess server(*options);
    if (!server.start(error)) {
        std::fprintf(stderr, "lonip-config-server: %s\n", qPrintable(error));
        return 1;
    }
    lonsim::channel::watchTerminationSignals(&app);
    lonsim::channel::watchSignal(SIGHUP, &app, [&server] { server.reload(); });
    std::printf("lonip-config-server: ready: %s\n", qPrintable(server.description()));
    std::fflush(stdout);
    const int status = app.exec();
    std::fprintf(stderr, "lonip-config-server: stopped\n");
    return status;
}
