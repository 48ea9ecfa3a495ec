#include "automation/BusLog.h"

Q_LOGGING_CATEGORY(lcBus, "lonworks.bus", QtInfoMsg)
