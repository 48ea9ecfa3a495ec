#include "web/SessionStore.h"

#include <QDateTime>
#include <QRandomGenerator>

QByteArray TSessionStore::RandomToken()
{
    QByteArray bytes(32, Qt::Uninitialized);
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray TSessionStore::Create(const QString &user, TWebRole role)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (FSessions.size() >= MaxSessions) {
        // The least recently used goes (linear, at most once per login).
        auto oldest = FSessions.begin();
        for (auto it = FSessions.begin(); it != FSessions.end(); ++it) {
            if (it->LastUsedMs < oldest->LastUsedMs)
                oldest = it;
        }
        FSessions.erase(oldest);
    }
    const QByteArray token = RandomToken();
    FSessions.insert(token, TWebSession{user, role, RandomToken(), now});
    return token;
}

const TWebSession *TSessionStore::Find(const QByteArray &token)
{
    auto it = FSessions.find(token);
    if (it == FSessions.end())
        return nullptr;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - it->LastUsedMs > IdleMs) {
        FSessions.erase(it);
        return nullptr;
    }
    it->LastUsedMs = now;
    return &*it;
}

void TSessionStore::Remove(const QByteArray &token)
{
    FSessions.remove(token);
}
