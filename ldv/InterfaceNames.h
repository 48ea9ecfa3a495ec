#pragma once
// Turns an interface name given to ldv_open into the network it opens: LON1, a
// <name>.json in the folders of LONSIM_PATH, or a path to a description file.

#include "lonsim/DescriptionLoader.h"

#include <QString>
#include <functional>

namespace ldv {

struct ResolvedName {
    QString key;                                // the shared network's key; empty = unknown
    QString source;                             // what the name stands for, for messages
    std::function<lonsim::LoadResult()> load;
    QString error;                              // why the name is unknown
};

ResolvedName resolveInterfaceName(const QString &name);

} // namespace ldv
