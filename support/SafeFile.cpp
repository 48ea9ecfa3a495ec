#include "support/SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString ErrnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString KindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a plain file");
}

QString SizeText(qint64 bytes)
{
    if (bytes >= (1 << 20) && bytes % (1 << 20) == 0)
        return QStringLiteral("%1 MiB").arg(bytes >> 20);
    return QStringLiteral("%1 bytes").arg(bytes);
}

// The regular file at path, opened with extra flags (O_NOFOLLOW or none), never blocking,
// at most maxBytes; nullopt with why set.
std::optional<QByteArray> ReadBounded(const QString &path, qint64 maxBytes, int flags, QString &why)
{
    if (path.isEmpty()) {
        why = QStringLiteral("no file named");
        return std::nullopt;
    }
    // O_NONBLOCK: a FIFO or device put in the file's place cannot block the open.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | flags);
    if (fd < 0) {
        why = errno == ELOOP && (flags & O_NOFOLLOW) ? QStringLiteral("a symlink") : ErrnoText();
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        why = file.errorString();
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        why = ErrnoText();
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        why = QStringLiteral("not a regular file (%1)").arg(KindOf(st.st_mode));
        return std::nullopt;
    }
    if (st.st_size > maxBytes) {
        why = QStringLiteral("larger than %1").arg(SizeText(maxBytes));
        return std::nullopt;
    }
    // One byte more than the size shows: a file that grew meanwhile is noticed.
    const QByteArray bytes = file.read(qint64(st.st_size) + 1);
    if (bytes.size() > maxBytes) {
        why = QStringLiteral("larger than %1").arg(SizeText(maxBytes));
        return std::nullopt;
    }
    if (file.error() != QFileDevice::NoError) {
        why = file.errorString();
        return std::nullopt;
    }
    return bytes;
}

} // namespace

std::optional<QByteArray> ReadRegularFile(const QString &path, qint64 maxBytes)
{
    QString ignored;
    return ReadBounded(path, maxBytes, O_NOFOLLOW, ignored);
}

std::optional<QByteArray> ReadUserFile(const QString &path, qint64 maxBytes, QString &why)
{
    return ReadBounded(path, maxBytes, 0, why);
}

bool ReplaceFile(const QString &path, const QByteArray &bytes, QString &error)
{
    const QString folder = QFileInfo(path).absolutePath();
    const QByteArray folderName = QFile::encodeName(folder);
    if (::mkdir(folderName.constData(), 0700) != 0 && errno != EEXIST) {
        error = folder + QStringLiteral(": ") + ErrnoText();
        return false;
    }
    struct stat st {};
    if (::lstat(folderName.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = folder + QStringLiteral(": not a folder (a symlink is not followed)");
        return false;
    }
    // QSaveFile would write through a symlink; rename() replaces it.
    QTemporaryFile file(folder + QStringLiteral("/.") + QFileInfo(path).fileName() + QStringLiteral("-XXXXXX"));
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush()) {
        error = file.fileName() + QStringLiteral(": ") + file.errorString();
        return false;
    }
    if (::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) != 0) {
        error = path + QStringLiteral(": ") + ErrnoText();
        return false;
    }
    file.setAutoRemove(false);
    return true;
}
