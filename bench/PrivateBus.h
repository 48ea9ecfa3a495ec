#pragma once
// For the whole-system benchmarks that start the real driver: without a session bus the
// program runs itself again under dbus-run-session, on a private bus of its own.

#include <cstdio>
#include <unistd.h>
#include <vector>

// Replaces the process with dbus-run-session -- <the same command line>; returns only on
// failure (1).
inline int RunUnderPrivateBus(int argc, char **argv)
{
    std::vector<char *> arguments{const_cast<char *>("dbus-run-session"), const_cast<char *>("--")};
    for (int i = 0; i < argc; ++i)
        arguments.push_back(argv[i]);
    arguments.push_back(nullptr);
    execvp(arguments[0], arguments.data());
    perror("dbus-run-session");
    return 1;
}
