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

} // namespace

std::optional<QByteArray> ReadRegularFile(const QString &path, qint64 maxBytes)
{
    if (path.isEmpty())
        return std::nullopt;
    // No symlink is followed, and a FIFO or device put in its place cannot block the open.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxBytes)
        return std::nullopt;
    const QByteArray bytes = file.read(maxBytes + 1);
    if (bytes.size() > maxBytes)
        return std::nullopt;
    return bytes;
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
