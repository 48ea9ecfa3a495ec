#pragma once
// Reads a network description (JSON) into a NetworkModel and checks it; the format is
// documented in docs/network-description.md.

#include "lonsim/Model.h"

#include <QString>
#include <optional>

namespace lonsim {

struct LoadResult {
    std::optional<NetworkModel> model;
    QString error;      // why the description was refused, naming the offending item
};

// A description file is at most this large; the load takes time linear in its size.
constexpr qint64 MaxDescriptionBytes = 16 * 1024 * 1024;

LoadResult loadDescription(const QByteArray &json, const QString &sourceName);
// Only a regular file (a link followed) is read, opened without blocking.
LoadResult loadDescriptionFile(const QString &path);

} // namespace lonsim
