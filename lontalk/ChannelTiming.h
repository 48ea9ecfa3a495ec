#pragma once
// How long a LonTalk frame occupies a channel: the medium's bit rate and the fixed part of
// every packet cycle (preamble, end-of-frame code violation, the idle period beta1, the
// priority slots and the mean randomizing delay of the media access), as the simulated
// channel books its frames and the poller prices its fetches. Figures and their sources
// are in docs/simulator.md ("Channel timing").

#include <QString>

#include <cstdint>
#include <optional>

namespace lontalk::channel {

enum class Medium { None, TpFt10, Pl20 };   // None: an IP channel or one without timing

struct MediumFigures {
    const char *name;           // "TP/FT-10"
    int bitRate;                // bit/s
    double preambleBits;        // bit-sync field and byte-sync bit
    double endOfFrameBits;      // the code violation after the CRC
    double beta1Bits;           // idle period after every packet
    double beta2Bits;           // one priority or randomizing slot
    int prioritySlots;
    int randomizingSlots;       // window at a backlog of 1; the mean wait is (n - 1) / 2 slots
};

// The figures of a medium; nullptr for None.
const MediumFigures *figuresOf(Medium medium);

struct Channel {
    Medium medium = Medium::None;
    int bitRate = 0;            // bit/s; 0 with Medium::None
    bool timed() const { return medium != Medium::None && bitRate > 0; }
    // "TP/FT-10 at 78125 bit/s", "IP (untimed)".
    QString describe() const;
};

// Bit rates a channel may be given.
constexpr int MinBitRate = 300;
constexpr int MaxBitRate = 10'000'000;

// "TP/FT-10" (also "FT-10", "TP-FT-10"), "PL-20" or "IP"/"none", any letter case, with
// the medium's own bit rate; nullopt for any other text.
std::optional<Channel> parseChannel(const QString &kind);

// Nanoseconds one frame of frameBytes (CRC included) takes of the channel: its bits and the
// fixed part of its packet cycle. 0 on an untimed channel.
int64_t frameTimeNs(const Channel &channel, int frameBytes);

// Bytes (CRC included) of a network-variable fetch and of its response on the wire, sent
// by subnet/node in a domain of domainLength bytes.
int fetchRequestBytes(int domainLength, uint16_t index);
int fetchResponseBytes(int domainLength, uint16_t index, int valueLength);
// The channel time of one fetch: request and response.
int64_t fetchTimeNs(const Channel &channel, int domainLength, uint16_t index, int valueLength);

} // namespace lontalk::channel
