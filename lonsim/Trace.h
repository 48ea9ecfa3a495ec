#pragma once
// The optional frame trace: when LONSIM_TRACE names a file, every frame in either
// direction is appended to it as one line: time, interface, direction, hex bytes.

#include <QString>
#include <cstdint>

namespace lonsim {

// direction: "write" (host to network), "read" (network to host) or "refused".
void traceFrame(const QString &interfaceLabel, const char *direction, const uint8_t *bytes, int length);

} // namespace lonsim
