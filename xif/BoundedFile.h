#pragma once
// Reading a file a user put in place (a device interface file, a type file, a names
// file): only a regular file, reached through symbolic links if need be, opened without
// blocking (a FIFO in its place cannot hold the reader), and at most maxBytes of it.

#include <QByteArray>
#include <QString>

#include <optional>

namespace xif {

// The file's bytes, or nullopt with error saying why ("not a regular file", "larger
// than 1048576 bytes", the system's reason).
std::optional<QByteArray> readBoundedFile(const QString &path, qint64 maxBytes, QString &error);

} // namespace xif
