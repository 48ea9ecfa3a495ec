#pragma once
// A described device's memory as lontalk lays it out: its read-only structure and its
// self-documentation.

#include "lonsim/Model.h"

#include <QByteArray>

namespace lonsim {

QByteArray readOnlyStructure(const Device &device);
QByteArray selfDocumentation(const Device &device);

} // namespace lonsim
