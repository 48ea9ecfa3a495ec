#pragma once
// The site's window in tests: its components, found by their names.

#include <QWidget>

// A component of a window by its name (ClientCountLbl, BlockChk, MessagePnl, TimePnl, ...).
template <typename T>
T *Component(const QWidget &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}
