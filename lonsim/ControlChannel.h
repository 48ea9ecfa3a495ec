#pragma once
// The control channel for tests: when LONSIM_CONTROL names a folder, command files
// dropped there (*.cmd) are carried out and renamed *.done with a result per line, and
// state.json there shows every open network's devices: counters, selection, silence and
// current variable values. Polled at most every 50 ms from the ldv calls.

namespace lonsim {

class NetworkRegistry;

void pollControlChannel(NetworkRegistry &registry, bool force = false);

} // namespace lonsim
