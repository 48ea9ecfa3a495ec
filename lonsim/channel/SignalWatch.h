#pragma once
// Turns SIGTERM and SIGINT into a clean quit of the Qt event loop: the handler only
// writes a byte to a socket pair, which a QSocketNotifier reads in the loop.

#include <QObject>

namespace lonsim::channel {

// Installs the handlers; the application quits on the first signal.
bool watchTerminationSignals(QObject *parent);

} // namespace lonsim::channel
