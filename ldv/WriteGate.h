#pragma once
// A gate every ldv_write passes before it reaches the interface, for tests of a driver that
// must live with an interface refusing frames for a while (a USB interface setting layer 5
// again after a reset answers LDV_NO_BUFF_AVAIL): a status other than LDV_OK from the gate
// is the write's answer and nothing is written. Only libldv32-testclock.so lets a test set
// it (ldv/TestClock.cpp); without a gate every write goes through.

#include <cstdint>
#include <functional>

namespace ldv {

using WriteGate = std::function<short(const uint8_t *bytes, int length)>;
void setWriteGateForTest(WriteGate gate);
// LDV_OK, or the gate's refusal of the frame.
short writeGateStatus(const uint8_t *bytes, int length);

} // namespace ldv
