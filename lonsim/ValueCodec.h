#pragma once
// Typed values written into a variable's bytes (big-endian, as on the network): the
// formats that descriptions and value changes name, e.g. "s16" or "f32".

#include "lonsim/Model.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace lonsim {

std::optional<ValueFormat> parseValueFormat(const QString &name);
int formatSize(ValueFormat format);

// The value in the format's bytes; integers are rounded, then cut to the field's width.
QByteArray encodeValue(ValueFormat format, double value);

// Writes the encoded value into bytes at offset when it fits; false otherwise.
bool writeField(QByteArray &bytes, int offset, ValueFormat format, double value);

} // namespace lonsim
