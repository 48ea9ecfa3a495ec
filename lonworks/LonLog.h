#pragma once
// The logging category of the driver-library binding: loading libldv32.so and resolving
// its entries (lonworks.library).

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcLibrary)
