#pragma once
// Files a program keeps for itself (state files): read without following a symlink and
// only when they are regular files of bounded size; written as a new file renamed over
// the old one, so a reader sees the old or the new content, never a part, and a symlink
// in the file's place is replaced rather than written through.

#include <QByteArray>
#include <QString>

#include <optional>

// The file's bytes; nullopt when it is missing, a symlink, not a regular file, larger than
// maxBytes or unreadable.
std::optional<QByteArray> ReadRegularFile(const QString &path, qint64 maxBytes);

// Replaces the file with bytes. The folder is made (mode 0700) when missing; a folder
// that is a symlink is refused. False with error set.
bool ReplaceFile(const QString &path, const QByteArray &bytes, QString &error);
