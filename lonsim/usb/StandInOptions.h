#pragma once
// The command line of lonsim-usb: the network to serve, the device to make, which kernel
// module's behaviour to show, and the optional control folder and frame trace.

#include "lonsim/usb/UsbAdapter.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace lonsim::usb {

struct StandInOptions {
    QString network;                            // LON1, <name>.json on LONSIM_PATH, or a path
    QString device = QStringLiteral("lon0");
    UsbAdapter::Module module = UsbAdapter::Module::U61;
    bool mute = false;                          // an adapter that never answers
    QString control;                            // LONSIM_CONTROL folder
    QString trace;                              // frame trace file
};

// nullopt with error set when the arguments do not make a usable stand-in.
std::optional<StandInOptions> parseStandInOptions(const QStringList &arguments, QString &error);

QString standInUsage();

// The text of --help: usage, what the program does, every option.
QString standInHelp();

} // namespace lonsim::usb
