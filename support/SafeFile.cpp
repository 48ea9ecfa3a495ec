#include "support/SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

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

namespace {

// Closes a descriptor when it goes out of scope.
struct TFd
{
    int fd = -1;
    explicit TFd(int f) : fd(f) {}
    TFd(const TFd &) = delete;
    TFd &operator=(const TFd &) = delete;
    ~TFd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    void Reset(int f)
    {
        if (fd >= 0)
            ::close(fd);
        fd = f;
    }
};

// Opens the folder a file goes in, making the folders that are missing (mode 0700) one by
// one from the first that exists. A folder this makes, and the file's own folder, is
// entered without following a symlink: what is put in its place is refused, never written
// through. Folders above that existed before are taken as they are (a home folder that
// links elsewhere stays usable). -1 with error set.
int OpenFileFolder(const QString &folder, QString &error)
{
    const QStringList parts = folder.split(u'/', Qt::SkipEmptyParts);
    TFd current(::open(folder.startsWith(u'/') ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    QString walked = folder.startsWith(u'/') ? QString() : QStringLiteral(".");
    bool made = false;
    for (qsizetype i = 0; i < parts.size() && current.fd >= 0; ++i) {
        const QByteArray name = QFile::encodeName(parts.at(i));
        walked += u'/' + parts.at(i);
        const bool last = i == parts.size() - 1;
        int next = ::openat(current.fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT) {
            if (::mkdirat(current.fd, name.constData(), 0700) != 0 && errno != EEXIST) {
                error = walked + QStringLiteral(": ") + ErrnoText();
                return -1;
            }
            made = true;
            next = ::openat(current.fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        } else if (next < 0 && (errno == ELOOP || errno == ENOTDIR) && !last && !made) {
            // An existing folder above the file's own that is a symlink: the user's layout.
            next = ::openat(current.fd, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        }
        if (next < 0) {
            error = walked + ((errno == ELOOP || errno == ENOTDIR)
                                  ? QStringLiteral(": not a folder (a symlink is not followed)")
                                  : QStringLiteral(": ") + ErrnoText());
            return -1;
        }
        current.Reset(next);
    }
    if (current.fd < 0) {
        error = folder + QStringLiteral(": ") + ErrnoText();
        return -1;
    }
    const int fd = current.fd;
    current.fd = -1;
    return fd;
}

} // namespace

bool ReplaceFile(const QString &path, const QByteArray &bytes, QString &error)
{
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    const TFd folderFd(OpenFileFolder(folder, error));
    if (folderFd.fd < 0)
        return false;
    // A new file of its own in the folder, written and renamed over the old one: a symlink
    // in the file's place is replaced, never written through.
    const QByteArray finalName = QFile::encodeName(info.fileName());
    QByteArray tempName;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tempName = '.' + finalName + '-' + QByteArray::number(quint64(::getpid())) + '-'
                   + QByteArray::number(attempt);
        fd = ::openat(folderFd.fd, tempName.constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        error = folder + QStringLiteral(": cannot create a file: ") + ErrnoText();
        return false;
    }
    bool written = true;
    for (qsizetype done = 0; written && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        done += written ? n : 0;
    }
    written = written && ::fsync(fd) == 0;
    if (!written)
        error = path + QStringLiteral(": ") + ErrnoText();
    ::close(fd);
    if (written && ::renameat(folderFd.fd, tempName.constData(), folderFd.fd, finalName.constData()) != 0) {
        error = path + QStringLiteral(": ") + ErrnoText();
        written = false;
    }
    if (!written)
        ::unlinkat(folderFd.fd, tempName.constData(), 0);
    return written;
}
