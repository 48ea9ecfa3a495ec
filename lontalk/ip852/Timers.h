#pragma once
// The LonTalk 4-bit timer codes: transmit/repeat (16 ms base) and receive (128 ms base),
// and the long-timer flag that adds 16 to a transmit code.

#include <cstdint>

namespace ip852 {

// base << (code / 2), times 1.5 for odd codes; codes 16..31 (long timers) continue the series.
int transmitTimerMs(int code);
int receiveTimerMs(int code);

constexpr int NeuronIdReceiveMs = 8192;     // receive record of a Neuron-ID addressed message
constexpr int DefaultReceiveCode = 13;      // non-group receive timer of a device: 12 288 ms
// The longest receive timer a device may use (code 15): a sender keeps a destination's
// last TID from reuse this long after its transaction ended.
constexpr int LongestReceiveMs = 24576;

} // namespace ip852
