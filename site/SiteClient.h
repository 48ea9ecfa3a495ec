#pragma once
// What a site form knows of one of its clients. Driver objects derive from it; the site
// form itself is one too, since it holds its own command slot while Block is checked.

#include <QStringList>

class TSiteClient
{
public:
    virtual ~TSiteClient() = default;

    // The point entries of this client's last points list.
    QStringList FPointEntries;
};
