#include "site/SiteLog.h"

Q_LOGGING_CATEGORY(lcSite, "lonworks.site", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPoller, "lonworks.poller", QtInfoMsg)
