#pragma once
// The bytes a Neuron-based device shows in memory: its 35-byte read-only structure at
// 0xF000 and its self-documentation (the SNVT structure) in the real layout.

#include "Model.h"

#include <QByteArray>

namespace lonsim {

constexpr uint16_t ReadOnlyAddress = 0xF000;
constexpr int ReadOnlyLength = 35;

struct ReadOnlyFields {
    NeuronId neuronId{};
    ProgramId programId{};
    uint8_t model = 0;
    uint8_t minorModel = 0;
    int nvCount = 0;
    uint16_t selfDocAddress = 0;
};

QByteArray readOnlyStructure(const ReadOnlyFields &fields);
QByteArray readOnlyStructure(const Device &device);

// Total length (2 bytes), count low byte, version, count high byte (version 1),
// message tag count, two descriptor bytes per entry (one per variable in version 0,
// one per array in version 1), the device's documentation string, then the extension
// records.
QByteArray selfDocumentation(const Device &device);

} // namespace lonsim
