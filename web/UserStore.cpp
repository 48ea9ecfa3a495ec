#include "web/UserStore.h"

#include "support/SafeFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QPasswordDigestor>
#include <QRandomGenerator>

namespace {

const QByteArray kScheme = QByteArrayLiteral("pbkdf2-sha256");
constexpr int kKeyBytes = 32;
constexpr int kSaltBytes = 16;
constexpr int kMinIterations = 1000;
constexpr int kMaxIterations = 10000000;
constexpr qint64 kMaxFileBytes = 1024 * 1024;

QByteArray Derive(const QString &password, const QByteArray &salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt,
                                              iterations, kKeyBytes);
}

bool SameBytes(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return difference == 0;
}

} // namespace

QString RoleName(TWebRole role)
{
    switch (role) {
    case TWebRole::Admin: return QStringLiteral("admin");
    case TWebRole::Viewer: return QStringLiteral("viewer");
    case TWebRole::None: break;
    }
    return QStringLiteral("none");
}

TWebRole RoleFromName(const QString &name)
{
    if (name == QLatin1String("admin"))
        return TWebRole::Admin;
    if (name == QLatin1String("viewer"))
        return TWebRole::Viewer;
    return TWebRole::None;
}

bool TUserStore::ValidName(const QString &name)
{
    if (name.isEmpty() || name.size() > MaxNameLength)
        return false;
    for (QChar c : name) {
        if (!(c.isLetterOrNumber() || c == u'_' || c == u'-' || c == u'.' || c == u'@'))
            return false;
    }
    return true;
}

bool TUserStore::Load(const QString &path, QString &problem)
{
    FUsers.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("%1: cannot read the users file: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > kMaxFileBytes) {
        problem = QStringLiteral("%1: larger than %2 bytes").arg(path).arg(kMaxFileBytes);
        return false;
    }
    const QList<QByteArray> lines = file.read(kMaxFileBytes).split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split(':');
        bool ok = false;
        TUser user;
        user.Role = fields.size() == 6 ? RoleFromName(QString::fromUtf8(fields.at(1))) : TWebRole::None;
        user.Iterations = fields.value(3).toInt(&ok);
        user.Salt = QByteArray::fromBase64(fields.value(4));
        user.Key = QByteArray::fromBase64(fields.value(5));
        const QString name = QString::fromUtf8(fields.value(0));
        if (fields.size() != 6 || !ValidName(name) || user.Role == TWebRole::None || fields.at(2) != kScheme
            || !ok || user.Iterations < kMinIterations || user.Iterations > kMaxIterations
            || user.Salt.isEmpty() || user.Key.size() != kKeyBytes) {
            problem = QStringLiteral("%1:%2: not a user line (name:admin|viewer:pbkdf2-sha256:iterations:salt:key); "
                                     "write users with lonworks-web --add-user").arg(path).arg(i + 1);
            return false;
        }
        if (FUsers.size() >= MaxUsers) {
            problem = QStringLiteral("%1: more than %2 users").arg(path).arg(MaxUsers);
            return false;
        }
        FUsers.insert(name, user);
    }
    if (FUsers.isEmpty()) {
        problem = QStringLiteral("%1: no users; add one with lonworks-web --add-user NAME").arg(path);
        return false;
    }
    return true;
}

TWebRole TUserStore::Check(const QString &name, const QString &password) const
{
    if (password.size() > MaxPasswordLength)
        return TWebRole::None;
    const auto found = FUsers.constFind(name);
    if (found == FUsers.constEnd()) {
        // The same work as for a known user, so that the time does not tell names apart.
        static const QByteArray salt(kSaltBytes, 'x');
        Derive(password, salt, DefaultIterations);
        return TWebRole::None;
    }
    return SameBytes(Derive(password, found->Salt, found->Iterations), found->Key) ? found->Role : TWebRole::None;
}

QByteArray TUserStore::HashedLine(const QString &name, TWebRole role, const QString &password, int iterations)
{
    QByteArray salt(kSaltBytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(salt.begin(), salt.end());
    return name.toUtf8() + ':' + RoleName(role).toUtf8() + ':' + kScheme + ':' + QByteArray::number(iterations)
        + ':' + salt.toBase64() + ':' + Derive(password, salt, iterations).toBase64();
}

bool TUserStore::AddUser(const QString &path, const QString &name, TWebRole role, const QString &password,
                         QString &problem)
{
    if (!ValidName(name)) {
        problem = QStringLiteral("\"%1\" is not a user name: 1 to %2 letters, digits, \"_\", \"-\", \".\", \"@\"")
                      .arg(name).arg(MaxNameLength);
        return false;
    }
    if (password.isEmpty() || password.size() > MaxPasswordLength) {
        problem = QStringLiteral("the password must have 1 to %1 characters").arg(MaxPasswordLength);
        return false;
    }
    if (QFileInfo(path).isSymLink()) {
        problem = QStringLiteral("%1 is a symbolic link; not following it (remove it and try again)").arg(path);
        return false;
    }
    QByteArray kept;
    if (QFileInfo::exists(path)) {
        const std::optional<QByteArray> old = ReadRegularFile(path, kMaxFileBytes);
        if (!old) {
            problem = QStringLiteral("cannot read %1 (not a regular file of at most %2 bytes)").arg(path).arg(kMaxFileBytes);
            return false;
        }
        const QByteArray prefix = name.toUtf8() + ':';
        for (const QByteArray &line : old->split('\n')) {
            if (!line.trimmed().isEmpty() && !line.startsWith(prefix))
                kept += line + '\n';
        }
    }
    // A new file (mode 0600) renamed over the old one.
    QString error;
    if (!ReplaceFile(path, kept + HashedLine(name, role, password) + '\n', error)) {
        problem = QStringLiteral("cannot write %1").arg(error);
        return false;
    }
    return true;
}
