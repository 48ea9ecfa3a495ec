#pragma once
// The network a channel server puts on the wire, by name: LON1 (built in), <name>.json
// in the folders of LONSIM_PATH, or a description file's path. Opened through the
// registry, so that the control channel sees it.

#include "lonsim/Network.h"

#include <QString>

namespace lonsim::channel {

// nullptr with error set when the name is unknown or the description is refused.
Network *openNetwork(const QString &name, QString &error);

} // namespace lonsim::channel
