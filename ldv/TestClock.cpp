// The three entries libldv32-testclock.so adds to the library's ten, for tests of a driver
// that runs on a clock of its own: the simulated networks' clock, an observer of every
// frame the host writes or reads, and a gate that may refuse the host's writes. The library
// the driver ships (libldv32.so) has none of them.

#include "ldv/WriteGate.h"
#include "lonsim/Network.h"
#include "lonsim/Trace.h"

extern "C" {

// nowUs: microseconds of the test's clock; nullptr gives the system's clock back.
__attribute__((visibility("default"))) void lonsim_test_set_clock(long long (*nowUs)(void))
{
    if (nowUs)
        lonsim::Network::setProcessClockForTest([nowUs] { return qint64(nowUs()); });
    else
        lonsim::Network::setProcessClockForTest({});
}

// observer: called with "write", "read" or "refused", the frame and its length.
__attribute__((visibility("default"))) void lonsim_test_set_frame_observer(void (*observer)(const char *, const unsigned char *, int))
{
    if (observer)
        lonsim::setFrameObserverForTest([observer](const char *direction, const uint8_t *bytes, int length) {
            observer(direction, bytes, length);
        });
    else
        lonsim::setFrameObserverForTest({});
}

// gate: called with every frame the host writes, before the interface sees it; a non-zero
// status it returns is ldv_write's answer (LDV_NO_BUFF_AVAIL, say) and nothing is written.
__attribute__((visibility("default"))) void lonsim_test_set_write_gate(short (*gate)(const unsigned char *, int))
{
    if (gate)
        ldv::setWriteGateForTest([gate](const uint8_t *bytes, int length) { return gate(bytes, length); });
    else
        ldv::setWriteGateForTest({});
}

} // extern "C"
