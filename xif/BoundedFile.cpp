#include "xif/BoundedFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace xif {

std::optional<QByteArray> readBoundedFile(const QString &path, qint64 maxBytes, QString &error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        error = file.errorString();
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = QStringLiteral("not a regular file");
        return std::nullopt;
    }
    // The size is checked on what is read, too: the file may grow after fstat.
    const QByteArray bytes = st.st_size > maxBytes ? QByteArray() : file.read(maxBytes + 1);
    if (st.st_size > maxBytes || bytes.size() > maxBytes) {
        error = QStringLiteral("larger than %1 bytes").arg(maxBytes);
        return std::nullopt;
    }
    return bytes;
}

} // namespace xif
