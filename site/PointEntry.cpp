#include "site/PointEntry.h"

#include "support/StrLib.h"

void SplitPointEntry(const QString &entry, QString &name, QString &address)
{
    name = TextBetween(entry, u'{', u'}', 0);
    address = TextBetween(entry, u'{', u'}', int(name.size()) + 2);
}
