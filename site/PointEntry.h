#pragma once
// The point entries of points lists and point requests: brace groups, the first the
// client's name for the point and the second its address ({Temp}{0:1:2:3:105:0:3:105}...).

#include <QString>

// The first two brace groups of an entry: the client's name and the address (each empty
// when its group is missing).
void SplitPointEntry(const QString &entry, QString &name, QString &address);
