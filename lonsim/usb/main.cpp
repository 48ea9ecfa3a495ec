// lonsim-usb: a USB LON network interface under the Linux LON driver, stood in for by a
// TUN device with a simulated network behind it.

#include "lonsim/channel/NetworkSource.h"
#include "lonsim/channel/SignalWatch.h"
#include "lonsim/usb/StandIn.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lonsim-usb"));
    using namespace lonsim::usb;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (!arguments.isEmpty() && (arguments.first() == QLatin1String("--help") || arguments.first() == QLatin1String("-h"))) {
        std::fputs(qPrintable(standInHelp()), stdout);
        return 0;
    }
    if (!arguments.isEmpty() && arguments.first() == QLatin1String("--version")) {
        std::puts("lonsim-usb 1.80");
        return 0;
    }
    QString error;
    const auto options = parseStandInOptions(arguments, error);
    if (!options) {
        std::fprintf(stderr, "lonsim-usb: %s\n", qPrintable(error));
        return 2;
    }
    if (!options->control.isEmpty())
        qputenv("LONSIM_CONTROL", options->control.toLocal8Bit());
    if (!options->trace.isEmpty())
        qputenv("LONSIM_TRACE", options->trace.toLocal8Bit());
    lonsim::Network *network = lonsim::channel::openNetwork(options->network, error);
    if (!network) {
        std::fprintf(stderr, "lonsim-usb: %s\n", qPrintable(error));
        return 1;
    }
    StandIn standIn(*network, *options);
    if (!standIn.start(error)) {
        std::fprintf(stderr, "lonsim-usb: %s\n", qPrintable(error));
        return 1;
    }
    lonsim::channel::watchTerminationSignals(&app);
    lonsim::channel::watchSignal(SIGUSR1, &app, [&standIn] { standIn.resetAdapter(); });
    std::printf("lonsim-usb: ready: %s\n", qPrintable(standIn.description()));
    std::fflush(stdout);
    const int status = app.exec();
    std::fprintf(stderr, "lonsim-usb: stopped\n");
    return status;
}
