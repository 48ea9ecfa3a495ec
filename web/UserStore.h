#pragma once
// TUserStore: the console's users file. One user a line,
//   name:role:pbkdf2-sha256:iterations:salt:key
// (role "admin" may write and discover, "viewer" only reads; salt and key in base64), read
// at start. Passwords are checked with PBKDF2-HMAC-SHA256 (QPasswordDigestor) and compared
// in constant time; `lonworks-web --add-user` writes the file whole (a new file renamed over
// the old one), never through a symbolic link.

#include <QByteArray>
#include <QHash>
#include <QString>

enum class TWebRole { None, Viewer, Admin };

QString RoleName(TWebRole role);
TWebRole RoleFromName(const QString &name);

class TUserStore
{
public:
    static constexpr int DefaultIterations = 60000;
    static constexpr int MaxUsers = 1000;
    static constexpr int MaxNameLength = 64;
    static constexpr int MaxPasswordLength = 1024;

    bool Load(const QString &path, QString &problem);
    bool IsEmpty() const { return FUsers.isEmpty(); }
    qsizetype Count() const { return FUsers.size(); }
    // The user's role when the password is right; None otherwise (the same work either way).
    TWebRole Check(const QString &name, const QString &password) const;

    // A line of the file for this user.
    static QByteArray HashedLine(const QString &name, TWebRole role, const QString &password,
                                 int iterations = DefaultIterations);
    static bool ValidName(const QString &name);
    // Adds or replaces the user in the file (made when missing).
    static bool AddUser(const QString &path, const QString &name, TWebRole role, const QString &password,
                        QString &problem);

private:
    struct TUser
    {
        TWebRole Role = TWebRole::None;
        int Iterations = 0;
        QByteArray Salt;
        QByteArray Key;
    };
    QHash<QString, TUser> FUsers;
};
