#pragma once
// TKeyedList: records kept in insertion order under unique text keys, reached by key or
// by position. The site form's polling set and value cache are kept in it.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

template <typename T>
class TKeyedList
{
public:
    qsizetype Count() const { return FKeys.size(); }
    bool IsEmpty() const { return FKeys.isEmpty(); }
    bool IsIndex(qsizetype index) const { return index >= 0 && index < FKeys.size(); }

    // Position of the key's record, -1 when the key is not present.
    qsizetype IndexOf(const QString &key) const { return FIndex.value(key, -1); }
    bool Contains(const QString &key) const { return FIndex.contains(key); }

    // Adds the record at the end unless the key is present (duplicates are ignored);
    // answers the position of the key's record.
    qsizetype Add(const QString &key, const T &record)
    {
        const qsizetype at = IndexOf(key);
        if (at >= 0)
            return at;
        FIndex.insert(key, FKeys.size());
        FKeys.append(key);
        FRecords.append(record);
        return FKeys.size() - 1;
    }

    const QString &Key(qsizetype index) const { return FKeys.at(index); }
    const QStringList &Keys() const { return FKeys; }
    T &At(qsizetype index) { return FRecords[index]; }
    const T &At(qsizetype index) const { return FRecords.at(index); }

    // The key's record, or nullptr.
    T *Find(const QString &key)
    {
        const qsizetype at = IndexOf(key);
        return at >= 0 ? &FRecords[at] : nullptr;
    }
    const T *Find(const QString &key) const
    {
        const qsizetype at = IndexOf(key);
        return at >= 0 ? &FRecords.at(at) : nullptr;
    }

    void Clear()
    {
        FKeys.clear();
        FRecords.clear();
        FIndex.clear();
    }

private:
    QStringList FKeys;
    QList<T> FRecords;
    QHash<QString, qsizetype> FIndex;
};
