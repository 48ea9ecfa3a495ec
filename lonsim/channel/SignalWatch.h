#pragma once
// Turns signals into calls in the Qt event loop: the handler only writes the signal's
// number to a socket pair, which a QSocketNotifier reads in the loop.

#include <QObject>
#include <functional>

namespace lonsim::channel {

// Calls handler in the event loop each time the signal arrives; false when it cannot be watched.
bool watchSignal(int signal, QObject *parent, std::function<void()> handler);

// SIGTERM and SIGINT quit the application (on the first one).
bool watchTerminationSignals(QObject *parent);

} // namespace lonsim::channel
