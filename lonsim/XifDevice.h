#pragma once
// A simulated device built from a device interface file: the file's program ID, its
// self-documentation and its variables (names, types, directions, sizes, the initial
// values of its configuration properties), so that the simulator runs real devices'
// interfaces. docs/network-description.md describes the "xif" key of a device.

#include "lonsim/Model.h"
#include "xif/DeviceInterface.h"

namespace lonsim {

// Fills the device's program ID, documentation and variables from the interface. Without
// selfDocNames the variables' extension records carry no names (nor a ";text" that
// could stand for one), as on a device that documents only its types.
void applyInterface(Device &device, const xif::DeviceInterface &interface, bool selfDocNames);

} // namespace lonsim
