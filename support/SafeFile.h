#pragma once
// Files a program keeps for itself (state files): read without following a symlink and
// only when they are regular files of bounded size; written as a new file renamed over
// the old one, so a reader sees the old or the new content, never a part, and a symlink
// in the file's place is replaced rather than written through. Files people write
// (settings, descriptions) are read the same way, a symlink followed.

#include <QByteArray>
#include <QString>

#include <optional>

// The file's bytes; nullopt when it is missing, a symlink, not a regular file, larger than
// maxBytes or unreadable.
std::optional<QByteArray> ReadRegularFile(const QString &path, qint64 maxBytes);

// A file people write, a symlink followed: its bytes when it is a regular file of at most
// maxBytes. It is opened without blocking, so a FIFO or a device in its place is refused at
// once, as is a file over the cap (before anything is read). nullopt with why set to the
// reason ("not a regular file (a FIFO)", "larger than 1 MiB", the system's error).
std::optional<QByteArray> ReadUserFile(const QString &path, qint64 maxBytes, QString &why);

// Replaces the file with bytes. The folder is made (mode 0700) when missing, with the
// folders above it that are missing; the file's folder, and every folder this makes, is
// never a symlink followed. False with error set.
bool ReplaceFile(const QString &path, const QByteArray &bytes, QString &error);
