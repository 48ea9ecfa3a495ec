#pragma once
// Expansion of one discovered network variable into the point entries shown to clients:
// {address}{name}{units}{TRUE|FALSE}{kind}{Variable}.

#include "snvt/LonDefines.h"

#include <QString>
#include <QStringList>

// description: domain, subnet, node, index, SNVT type number, name (six texts). Appends
// the variable's entries to `entries` (which is not cleared): one for a single-value type,
// one per field for a structured type, none for types without points.
void ExpandNetworkVariable(const QStringList &description, QStringList &entries, bool tempsInF);

// One entry line. `prefix` is the first five address fields, each followed by ":".
// The fourth field is TRUE when the name begins with NVI or NCI in any case.
QString BuildPointEntry(const QString &prefix, int offset, int variableType, int parameter,
                        const QString &name, const QString &units, int kind);
