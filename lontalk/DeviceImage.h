#pragma once
// The bytes a Neuron-based device shows in memory: its 35-byte read-only structure at
// 0xF000 and its self-documentation (the SNVT structure) in the real layout. A simulated
// device and the library's own network interfaces show their memory through these.

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>

namespace lontalk {

using NeuronId = std::array<uint8_t, 6>;
using ProgramId = std::array<uint8_t, 8>;

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

// One network variable (or array) as the self-documentation describes it.
struct SelfDocVariable {
    int snvt = 0;
    QString name;
    QString doc;
    int arrayCount = 1;
    bool extensionRecord = true;
    int maxRateEstimate = -1;   // extension-record byte, -1 = absent
    int rateEstimate = -1;
};

struct SelfDocFields {
    int version = 1;
    QString doc;                // the device's documentation string
    QList<SelfDocVariable> variables;
};

// Total length (2 bytes), count low byte, version, count high byte (version 1),
// message tag count, two descriptor bytes per entry (one per variable in version 0,
// one per array in version 1), the device's documentation string, then the extension
// records.
QByteArray selfDocumentation(const SelfDocFields &fields);

} // namespace lontalk
