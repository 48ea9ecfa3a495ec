#include "support/JsonRules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <vector>

namespace jsonrules {

void refuse(const QString &why)
{
    throw Refusal{why};
}

void onlyKeys(const QJsonObject &o, const QStringList &allowed, const QString &where)
{
    for (const QString &key : o.keys())
        if (!allowed.contains(key))
            refuse(QStringLiteral("%1: unknown key \"%2\"").arg(where, key));
}

int number(const QJsonValue &v, int low, int high, const QString &where)
{
    const double d = v.toDouble(-1);
    if (!v.isDouble() || d != double(int(d)) || d < low || d > high)
        refuse(where + QStringLiteral(": a whole number %1..%2 expected").arg(low).arg(high));
    return int(d);
}

namespace {

// The text of a key as JSON spells it between its quotes.
QString keyText(const QByteArray &raw)
{
    if (!raw.contains('\\'))
        return QString::fromUtf8(raw);
    // Escapes: Qt's reader decodes them, so "a" and "\u0061" compare equal.
    return QJsonDocument::fromJson(QByteArray("[\"") + raw + "\"]").array().at(0).toString();
}

// The keys of one open object: a short list first, a hash once it grows.
class KeySet {
public:
    // False when key was there already.
    bool insert(const QString &key)
    {
        if (m_hash.isEmpty() && m_list.size() < ShortList) {
            if (m_list.contains(key))
                return false;
            m_list.append(key);
            return true;
        }
        if (m_hash.isEmpty())
            m_hash = QSet<QString>(m_list.cbegin(), m_list.cend());
        const qsizetype before = m_hash.size();
        m_hash.insert(key);
        return m_hash.size() != before;
    }

private:
    static constexpr int ShortList = 8;
    QStringList m_list;
    QSet<QString> m_hash;
};

struct Level {
    bool object = false;
    bool expectKey = false;
    KeySet keys;
};

} // namespace

QString duplicateKey(const QByteArray &json)
{
    std::vector<Level> levels;
    const char *p = json.constData();
    const qsizetype n = json.size();
    for (qsizetype i = 0; i < n; ++i) {
        switch (p[i]) {
        case '{':
            levels.push_back(Level{true, true, {}});
            break;
        case '[':
            levels.push_back(Level{});
            break;
        case '}':
        case ']':
            if (!levels.empty())
                levels.pop_back();
            break;
        case ',':
            if (!levels.empty() && levels.back().object)
                levels.back().expectKey = true;
            break;
        case '"': {
            const qsizetype start = i++;
            while (i < n && p[i] != '"')
                i += p[i] == '\\' ? 2 : 1;
            if (levels.empty() || !levels.back().object || !levels.back().expectKey)
                break;      // a value
            levels.back().expectKey = false;
            const QString key = keyText(QByteArray(p + start + 1, std::min(i, n) - start - 1));
            if (!levels.back().keys.insert(key))
                return QStringLiteral("key \"%1\" twice in one object, at offset %2").arg(key).arg(start);
            break;
        }
        default:
            break;
        }
    }
    return {};
}

} // namespace jsonrules
