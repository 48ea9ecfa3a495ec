#pragma once
// The optional frame trace: when LONSIM_TRACE names a file, every frame in either
// direction is appended to it as one line: time, interface, direction, hex bytes; and
// the configuration exchanges of IP-852 channels as lines of text.

#include <QString>
#include <cstdint>
#include <functional>

namespace lonsim {

// direction: "write" (host to network), "read" (network to host) or "refused". The
// hiddenCount bytes from hiddenFrom on are written as "**" (the secret part of a key).
void traceFrame(const QString &interfaceLabel, const char *direction, const uint8_t *bytes, int length,
                int hiddenFrom = 0, int hiddenCount = 0);

// One line of text in the same file: time, label, text (an IP-852 configuration exchange).
void traceText(const QString &label, const QString &text);

// Also hands every frame to observer (direction, bytes, length) before it is traced; an
// empty function ends that. For tests that check the frames on a clock of their own.
using FrameObserver = std::function<void(const char *direction, const uint8_t *bytes, int length)>;
void setFrameObserverForTest(FrameObserver observer);

} // namespace lonsim
