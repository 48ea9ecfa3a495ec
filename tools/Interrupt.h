#pragma once
// Ctrl-C and SIGTERM: a flag that long-running commands check, and sleeping in short
// slices so that an interrupt ends a wait at once.

// Installs the handlers. A signal sets the flag and restores the default action, so a
// second Ctrl-C ends the program at once unless the first was acknowledged.
void InstallInterruptHandlers();
bool Interrupted();
// For commands that end normally on Ctrl-C (watch, lock): clears the flag and installs the
// handlers again, so that the clean-up that follows can itself be interrupted.
void AcknowledgeInterrupt();
// Sleeps ms milliseconds; false when interrupted before the time was up.
bool SleepUnlessInterrupted(int ms);
