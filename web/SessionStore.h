#pragma once
// TSessionStore: the logged-in browsers. A session is a random token (the HttpOnly cookie)
// with its user, role and CSRF token; it ends at logout, after an idle time, or when the
// store is full and it is the least recently used.

#include "web/UserStore.h"

#include <QByteArray>
#include <QHash>
#include <QString>

struct TWebSession
{
    QString User;
    TWebRole Role = TWebRole::None;
    QByteArray Csrf;
    qint64 LastUsedMs = 0;
};

class TSessionStore
{
public:
    static constexpr int MaxSessions = 1000;
    static constexpr qint64 IdleMs = 12LL * 3600 * 1000;

    // A new session; answers its token.
    QByteArray Create(const QString &user, TWebRole role);
    // The live session of the token (its idle time starts again), or nullptr.
    const TWebSession *Find(const QByteArray &token);
    void Remove(const QByteArray &token);
    qsizetype Count() const { return FSessions.size(); }

    static QByteArray RandomToken();

private:
    QHash<QByteArray, TWebSession> FSessions;
};
