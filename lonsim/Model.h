#pragma once
// The network description in memory: the simulated interface and its devices, as read
// from a description file. Plain data; the running state lives in Network.

#include "lontalk/ChannelTiming.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>
#include <cstdint>

namespace lonsim {

using NeuronId = std::array<uint8_t, 6>;
using ProgramId = std::array<uint8_t, 8>;

// A LonTalk domain: its ID is 0, 1, 3 or 6 bytes long; its authentication key 6 bytes
// (empty when the description gives none: a device then holds six zero bytes).
struct DomainAddress {
    QByteArray id;
    uint8_t subnet = 0;
    uint8_t node = 0;
    QByteArray key;
    bool sameDomain(const QByteArray &otherId) const { return id == otherId; }
    QByteArray authKey() const { return key.isEmpty() ? QByteArray(6, '\0') : key; }
};

// How a device (or the local interface) misbehaves. Every switch is off by default.
struct AnswerFault {
    int every = 0;              // 0 = never; n = every n-th matching answer
    QList<int> codes;           // request codes it applies to; empty = all
    bool appliesTo(int code) const { return every > 0 && (codes.isEmpty() || codes.contains(code)); }
};

// Counts one matching answer against a fault; true when this answer is the n-th.
inline bool faultHits(const AnswerFault &fault, int code, int &seen)
{
    if (!fault.appliesTo(code))
        return false;
    ++seen;
    return seen % fault.every == 0;
}

enum class MalformKind { None, WrongLength, WrongCode, LyingLength, Oversized, OtherVariable };

struct Behaviour {
    bool silent = false;
    int delayMs = 0;
    AnswerFault drop;
    AnswerFault doubled;
    AnswerFault malformed;
    MalformKind malformKind = MalformKind::None;
    bool ignoresUnselect = false;   // keeps answering Query ID after Respond to Query [0]
};

enum class ValueFormat { U8, S8, U16, S16, U32, S32, F32 };

// A value that changes by itself over time, written into one field of the variable.
struct ValueChange {
    enum Kind { None, Ramp, Sine, Toggle } kind = None;
    int periodMs = 60000;
    double from = 0;
    double to = 0;
    int offset = 0;
    ValueFormat format = ValueFormat::S16;
};

struct Unsolicited {
    int periodMs = 0;
};

struct NetworkVariable {
    int index = 0;              // NV index of the first element
    QString name;
    int snvt = 0;
    bool output = false;
    int arrayCount = 1;
    QString doc;
    int size = 0;               // bytes of one element
    QList<QByteArray> initial;  // one per element
    int selector = -1;          // bound selector; -1 = unbound (0x3FFF - index)
    bool authenticated = false; // input: takes only authenticated updates
    bool extensionRecord = true;
    int maxRateEstimate = -1;   // extension-record byte, -1 = absent
    int rateEstimate = -1;
    ValueChange change;
    Unsolicited unsolicited;
};

struct DeviceFile {
    int index = 0;
    QByteArray data;
};

struct Device {
    QString name;
    QList<DomainAddress> domains;
    NeuronId neuronId{};
    ProgramId programId{};
    uint8_t model = 0;
    uint8_t minorModel = 0;
    uint16_t selfDocAddress = 0x4000;   // 0xFFFF: only through Query SNVT; 0: none
    int selfDocVersion = 1;
    QString doc;
    QList<NetworkVariable> variables;
    QList<DeviceFile> files;
    int fileRequestNv = -1;
    int filePacketIntervalMs = 2;
    bool duplicateDetection = true;     // receive records: a repeated transaction is not executed again
    Behaviour behaviour;
    int nvIndexCount() const;
};

struct InterfaceModel {
    QString name;
    NeuronId neuronId{};
    ProgramId programId{};
    uint8_t model = 0;
    uint8_t minorModel = 0;
    std::array<DomainAddress, 2> domains;
    Behaviour behaviour;
};

struct NetworkModel {
    QString name;
    double timeScale = 1.0;
    lontalk::channel::Channel channel;   // untimed unless the description gives one
    InterfaceModel iface;
    QList<Device> devices;
};

} // namespace lonsim
