#pragma once
// The logging category of the driver's bus side: the process's start, its bus name and
// registration, the driver objects and the requests refused at the client boundary
// (lonworks.bus).

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcBus)
