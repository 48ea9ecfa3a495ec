#include "lontalk/ChannelTiming.h"

#include "lontalk/ip852/LonFrame.h"
#include "lontalk/Wire.h"

#include <cmath>

namespace lontalk::channel {

namespace {

// Layer 1 figures of the two standard channels (see docs/simulator.md for the sources):
// a transmitter sends the receiver's bit-sync threshold plus the preamble bits a receiver
// may miss, then one byte-sync bit; a slot lasts the receive start delay, indeterminate
// time and receive end delay (until every node hears a transmission begun in the slot
// before); beta1 is one slot plus the minimum interpacket time.
constexpr MediumFigures TpFt10{"TP/FT-10", 78125, 4 + 4 + 1, 3, 9 + 24 + 0 + 0, 9 + 24 + 0, 4, 16};
constexpr MediumFigures Pl20{"PL-20", 5400, 33.5, 3, 7.3 + 10.1 + 1.6 + 17.5, 7.3 + 10.1 + 1.6, 8, 16};

ip852::LonFrame fetchFrame(int domainLength, uint16_t index, bool response, int valueLength)
{
    ip852::LonFrame f;
    f.pdu = ip852::Pdu::Spdu;
    f.type = response ? uint8_t(ip852::Response) : uint8_t(ip852::Request);
    f.address.format = ip852::AddressFormat::SubnetNode;
    f.domain = QByteArray(domainLength, '\x4C');
    const int indexBytes = index < 63 ? 1 : 3;
    const uint8_t code = response ? wire::successCode(wire::NvFetch) : wire::NvFetch;
    f.apdu = QByteArray(1, char(code)) + QByteArray(indexBytes + (response ? valueLength : 0), '\0');
    return f;
}

} // namespace

const MediumFigures *figuresOf(Medium medium)
{
    switch (medium) {
    case Medium::TpFt10:
        return &TpFt10;
    case Medium::Pl20:
        return &Pl20;
    case Medium::None:
        break;
    }
    return nullptr;
}

QString Channel::describe() const
{
    const MediumFigures *figures = figuresOf(medium);
    if (!figures || bitRate <= 0)
        return QStringLiteral("IP (untimed)");
    return QStringLiteral("%1 at %2 bit/s").arg(QLatin1String(figures->name)).arg(bitRate);
}

std::optional<Channel> parseChannel(const QString &kind)
{
    QString k = kind.trimmed().toUpper();
    k.remove(u'/').remove(u'-').remove(u' ');
    if (k == QLatin1String("IP") || k == QLatin1String("NONE"))
        return Channel{};
    if (k == QLatin1String("TPFT10") || k == QLatin1String("FT10"))
        return Channel{Medium::TpFt10, TpFt10.bitRate};
    if (k == QLatin1String("PL20"))
        return Channel{Medium::Pl20, Pl20.bitRate};
    return std::nullopt;
}

int64_t frameTimeNs(const Channel &channel, int frameBytes)
{
    const MediumFigures *f = figuresOf(channel.medium);
    if (!f || channel.bitRate <= 0)
        return 0;
    const double bits = f->preambleBits + 8.0 * frameBytes + f->endOfFrameBits + f->beta1Bits
                        + f->beta2Bits * (f->prioritySlots + (f->randomizingSlots - 1) / 2.0);
    return int64_t(std::llround(bits * 1e9 / channel.bitRate));
}

int fetchRequestBytes(int domainLength, uint16_t index)
{
    return int(ip852::buildFrame(fetchFrame(domainLength, index, false, 0)).size());
}

int fetchResponseBytes(int domainLength, uint16_t index, int valueLength)
{
    return int(ip852::buildFrame(fetchFrame(domainLength, index, true, valueLength)).size());
}

int64_t fetchTimeNs(const Channel &channel, int domainLength, uint16_t index, int valueLength)
{
    return frameTimeNs(channel, fetchRequestBytes(domainLength, index))
           + frameTimeNs(channel, fetchResponseBytes(domainLength, index, valueLength));
}

} // namespace lontalk::channel
