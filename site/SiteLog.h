#pragma once
// The logging categories of the site engine: a site's connection, its clients and their
// requests (lonworks.site), and the poller's devices that stop and start answering
// (lonworks.poller). QT_LOGGING_RULES chooses what is shown (docs/deployment.md).

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcSite)
Q_DECLARE_LOGGING_CATEGORY(lcPoller)
