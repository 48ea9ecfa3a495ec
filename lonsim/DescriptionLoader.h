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

LoadResult loadDescription(const QByteArray &json, const QString &sourceName);
LoadResult loadDescriptionFile(const QString &path);

} // namespace lonsim
