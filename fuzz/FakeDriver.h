#pragma once
// Binds the driver-library binding to the scripted fake library of the fuzz build and
// opens one interface on it.

#include "fuzz/fake/FakeLdv.h"
#include "lonworks/LDV32.h"
#include "lonworks/LonInterface.h"
#include "lonworks/LonWait.h"

#include <cstdio>
#include <cstdlib>

// The fake answers at once, so a wait for an answer that will not come is a wait of
// nothing: the targets run on a clock of their own that a pause only moves forward.
inline unsigned long long gVirtualMs = 0;
inline void VirtualPause(int ms)
{
    gVirtualMs += static_cast<unsigned long long>(ms);
}

// Loads the fake library once (LDV32_FAKE_PATH is set by the build) and puts the network
// waits on the virtual clock; aborts when the library cannot be loaded, since every run
// would be meaningless.
inline void LoadFakeDriver()
{
    LonLib::SetPauseFunction(&VirtualPause);
    setenv("LDV32_LIBRARY", LDV32_FAKE_PATH, 1);
    if (!LDV32::Load()) {
        std::fprintf(stderr, "cannot load %s: %s\n", LDV32_FAKE_PATH,
                     qPrintable(LDV32::ErrorText()));
        std::abort();
    }
}

inline TniNetworkInterface OpenFakeInterface()
{
    TniNetworkInterface ni;
    ni.Open("LON1");
    TniDomainTableEntry domain;
    domain.Subnet = 1;
    domain.Node = 126;
    ni.SetDomain(0, domain);
    return ni;
}
