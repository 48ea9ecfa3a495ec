#pragma once
// What a site knows of one of its clients. Driver objects derive from it; the site itself
// is one too, since it holds its own command slot while it is blocked.

#include <QList>
#include <QString>
#include <QStringList>

class TSiteClient
{
public:
    virtual ~TSiteClient() = default;

    // FPointEntries: the point entries of this client's last points list.
    const QStringList &PointEntries() const { return FPointEntries; }
    void SetPointEntries(QStringList entries) { FPointEntries = std::move(entries); }
    // Puts entries in place and answers the list they replace.
    QStringList ExchangePointEntries(QStringList entries)
    {
        FPointEntries.swap(entries);
        return entries;
    }

private:
    QStringList FPointEntries;
};

// One attached client: the site Description it connected with and the client itself.
struct TSiteClientEntry
{
    QString Description;
    TSiteClient *Client = nullptr;
};
