#pragma once
// The network-interface types in one include: messages and their lists, domain table
// entries, the read-only structure, the per-site interface and the wire layouts.

#include "lonworks/LonInterface.h"
#include "lonworks/LonMessage.h"
#include "lonworks/LonRecords.h"
#include "lonworks/LonWire.h"
