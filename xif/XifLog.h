#pragma once
// The logging category of device interface files, templates, type files and names files.

#include <QLoggingCategory>

namespace xif {
Q_DECLARE_LOGGING_CATEGORY(lcXif)
}
