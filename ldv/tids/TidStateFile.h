#pragma once
// The state file that carries an interface's transaction IDs from one run of the driver
// to the next: $XDG_RUNTIME_DIR/lonworks/tids-<interface>.json, a small JSON document of
// the destinations whose last TID a device may still hold and how long it may hold it.
// Read without following a symlink and taking only what makes sense; written atomically
// (a new file renamed over the old one, never written through a symlink).

#include "lontalk/ip852/TidTable.h"

#include <QString>

#include <optional>

namespace ldv {

// $XDG_RUNTIME_DIR/lonworks/<kind>-<interface>.json for interface `name` (letter case
// ignored; percent-encoded, long names hashed); empty when XDG_RUNTIME_DIR is not set or
// not an existing folder (what the file would keep then lives only as long as the process).
QString interfaceStatePath(const QString &kind, const QString &name);

// The TID state file of interface `name`.
QString tidStatePath(const QString &name);

// The table kept in path, its times on the caller's clock (now); nullopt when there is no
// such file or it is not one (a symlink, not a regular file, too large, not the format).
// Entries that do not make sense are left out, and none is held longer than holdMs.
std::optional<ip852::TidTable::Snapshot> readTidState(const QString &path, int64_t now, int holdMs);

// Writes snapshot (times on the caller's clock, now) to path, creating its folder;
// false with error set.
bool writeTidState(const QString &path, const ip852::TidTable::Snapshot &snapshot, int64_t now, QString &error);

} // namespace ldv
