#include "lonsim/usb/StandInOptions.h"

namespace lonsim::usb {

QString standInUsage()
{
    return QStringLiteral(
        "usage: lonsim-usb --network NAME [--device lon0] [--module u61|u50] [--mute]\n"
        "                  [--control FOLDER] [--trace FILE]\n"
        "Makes a network device (a TUN device with packet information) that answers as a USB\n"
        "LON network interface under the Linux LON driver, with the simulated network NAME\n"
        "behind it. Needs CAP_NET_ADMIN (run it as root in a network namespace of its own).\n"
        "SIGUSR1 resets the adapter (it falls back to layer 2); SIGTERM removes the device.");
}

QString standInHelp()
{
    return QStringLiteral(
        "Usage: lonsim-usb --network NAME [options]\n"
        "Makes a network device (a TUN device with packet information) that answers as a USB\n"
        "LON network interface under the Linux LON driver, with the simulated network NAME\n"
        "behind it. Needs CAP_NET_ADMIN (run it as root in a network namespace of its own).\n"
        "SIGUSR1 resets the adapter (it falls back to layer 2); SIGTERM removes the device.\n"
        "\n"
        "Options:\n"
        "  --network NAME     The network to serve: LON1 (built in), a <name>.json found in\n"
        "                     the folders of LONSIM_PATH, or a network description file.\n"
        "  --device NAME      The network device to make (default lon0).\n"
        "  --module u61|u50   Show the frames as the parallel (u61, the default) or the\n"
        "                     serial (u50) interface module does.\n"
        "  --mute             An adapter that never answers.\n"
        "  --control FOLDER   Control folder of the simulated network (as LONSIM_CONTROL).\n"
        "  --trace FILE       Frame trace file: every frame on the device and the simulated\n"
        "                     interface.\n"
        "  -h, --help         Show this help and exit.\n"
        "  --version          Show the version and exit.\n");
}

std::optional<StandInOptions> parseStandInOptions(const QStringList &arguments, QString &error)
{
    StandInOptions o;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--mute")) {
            o.mute = true;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            error = QStringLiteral("%1: a value is needed\n%2").arg(a, standInUsage());
            return std::nullopt;
        }
        const QString value = arguments.at(++i);
        if (a == QLatin1String("--network")) {
            o.network = value;
        } else if (a == QLatin1String("--device")) {
            o.device = value;
        } else if (a == QLatin1String("--module")) {
            if (value == QLatin1String("u61"))
                o.module = UsbAdapter::Module::U61;
            else if (value == QLatin1String("u50"))
                o.module = UsbAdapter::Module::U50;
            else {
                error = QStringLiteral("--module: u61 or u50 expected, not \"%1\"").arg(value);
                return std::nullopt;
            }
        } else if (a == QLatin1String("--control")) {
            o.control = value;
        } else if (a == QLatin1String("--trace")) {
            o.trace = value;
        } else {
            error = QStringLiteral("unknown option %1\n%2").arg(a, standInUsage());
            return std::nullopt;
        }
    }
    if (o.network.isEmpty()) {
        error = QStringLiteral("--network is needed\n") + standInUsage();
        return std::nullopt;
    }
    return o;
}

} // namespace lonsim::usb
