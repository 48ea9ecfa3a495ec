#pragma once
// One line of a control file, carried out on the open networks; the text of its result
// ("ok" or "error: ...").

#include <QString>

namespace lonsim {

class NetworkRegistry;

// network: the network the preceding "network <name>" line chose (empty = any).
QString runControlCommand(NetworkRegistry &registry, const QString &line, QString &network);

} // namespace lonsim
