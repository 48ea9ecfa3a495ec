#pragma once
// The pause between two polls of the driver library. It sleeps on the real clock; a
// program that keeps a clock of its own (the fuzz targets, which must not wait) puts its
// own pause here.

namespace LonLib {

using TPauseFunction = void (*)(int ms);

// nullptr restores the real sleep.
void SetPauseFunction(TPauseFunction pause);
void Pause(int ms);

// Asked once the process is ending: every wait for the network gives up at once, so a
// long job (a discovery of a large network) ends within a poll instead of running on.
void StopWaiting();
bool WaitingStopped();

} // namespace LonLib
