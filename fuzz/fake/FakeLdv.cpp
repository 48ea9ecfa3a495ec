// The scripted driver library: exports the ten ldv_* entries and answers like a single
// Neuron-based device on a network interface that never delays.
#include "fuzz/fake/FakeLdv.h"
#include "ldv/ldv32.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <vector>

namespace {

using Frame = std::vector<uint8_t>;

constexpr uint8_t QueueResponse = 6;
constexpr uint8_t QueueTransaction = 2;
constexpr uint8_t QueueIncoming = 8;
constexpr uint8_t CodeFilePacket = 0x3E;

struct Device
{
    std::array<uint8_t, 0x10000> Memory{};
    uint16_t SelfDocAddress = 0x4000;
    uint8_t Subnet = 1;
    uint8_t Node = 5;
    std::deque<Frame> Pending;      // what ldv_read hands out next
    std::vector<Frame> FileFrames;  // served after a file request
    int EndingFrames = 0;           // of the transfer's 96 closing frames, those still to serve
    size_t Written = 0;
    bool Open = false;
};

Device &Dev()
{
    static Device device;
    return device;
}

uint8_t SuccessCode(uint8_t code) { return uint8_t(code & 0xBF); }

Frame Answer(uint8_t queue, uint8_t tag, uint8_t flags, uint8_t code, const Frame &data)
{
    const Device &d = Dev();
    Frame f(17 + data.size(), 0);
    f[0] = uint8_t(1 << 4 | queue);
    f[1] = uint8_t(15 + data.size());
    f[2] = tag;
    f[3] = flags;
    f[4] = uint8_t(data.size() + 1);
    f[5] = 0x02;                         // subnet/node source format
    f[6] = d.Subnet;
    f[7] = uint8_t(d.Node | 0x80);
    f[16] = code;
    std::copy(data.begin(), data.end(), f.begin() + 17);
    return f;
}

Frame MemoryBytes(uint16_t address, size_t count)
{
    Frame out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = Dev().Memory[uint16_t(address + i)];
    return out;
}

// The answer data of a request/response message, by its code.
Frame RespondTo(uint8_t code, const uint8_t *data, size_t n)
{
    const auto at = [&](size_t i) -> uint8_t { return i < n ? data[i] : 0; };
    switch (code) {
    case 0x6D:   // Read Memory: mode, address, count
        return MemoryBytes(uint16_t(at(1) << 8 | at(2)), at(3));
    case 0x72:   // Query SNVT: offset, count
        return MemoryBytes(uint16_t(Dev().SelfDocAddress + (at(0) << 8 | at(1))), at(2));
    case 0x73: { // NV fetch: the index as asked, then a value from the memory image
        const size_t indexBytes = std::min<size_t>(n, at(0) == 0xFF ? 3 : 1);
        Frame out(data, data + indexBytes);
        const Frame value = MemoryBytes(uint16_t(0x2000 + at(indexBytes - 1) * 16), 8);
        out.insert(out.end(), value.begin(), value.end());
        return out;
    }
    case 0x68:   // Query NV config: selector equal to the index, config byte 0
        return Frame{0, at(0) == 0xFF ? at(2) : at(0), 0};
    default:
        return Frame(n > 15 ? 15 : n, 0);
    }
}

// Every block/packet pair once with no data, in order: whatever the receiver expects next
// arrives and ends the transfer, so a run never waits for the idle limit. Made one at a
// time when the scripted frames have run out: most transfers end before needing them.
constexpr int ClosingFrames = 16 * 6;

Frame ClosingFrame(int number)
{
    const int block = number / 6;
    const int packet = number % 6;
    return Answer(QueueIncoming, 0, 0, CodeFilePacket, Frame{uint8_t(block << 4 | packet)});
}

void QueueFileTransfer()
{
    Device &d = Dev();
    for (Frame &f : d.FileFrames)
        d.Pending.push_back(std::move(f));
    d.FileFrames.clear();
    d.EndingFrames = ClosingFrames;
}

void Handle(const uint8_t *f, size_t n)
{
    if (n < 17)
        return;
    Device &d = Dev();
    const uint8_t tag = f[2] & 0x0F;
    const uint8_t service = (f[2] >> 5) & 3;
    const uint8_t code = f[16];
    const size_t dataLength = std::min<size_t>(n - 17, f[4] > 0 ? f[4] - 1u : 0u);
    const uint8_t *data = f + 17;
    if (f[3] & 0x01)
        return;   // a response we send (file acknowledgement): nothing comes back
    if ((f[0] >> 4) == 2) {   // local command: one answer
        d.Pending.push_back(Answer(QueueResponse, tag, 0x01, SuccessCode(code), Frame(15, 0)));
        return;
    }
    if (service == 3)
        d.Pending.push_back(Answer(QueueResponse, tag, 0x01, SuccessCode(code), RespondTo(code, data, dataLength)));
    d.Pending.push_back(Answer(QueueTransaction, tag, 1 << 4, code, Frame{}));
    // A file request is an update whose first value byte is 0 (start).
    if (code >= 0x80 && dataLength >= 2 && data[1] == 0)
        QueueFileTransfer();
}

} // namespace

extern "C" {

void fakeldv_reset(void)
{
    Device &d = Dev();
    d.Memory.fill(0);
    d.SelfDocAddress = 0x4000;
    d.Pending.clear();
    d.FileFrames.clear();
    d.EndingFrames = 0;
    d.Written = 0;
}

void fakeldv_set_memory(uint16_t address, const uint8_t *bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        Dev().Memory[uint16_t(address + i)] = bytes[i];
}

void fakeldv_set_selfdoc_address(uint16_t address) { Dev().SelfDocAddress = address; }

void fakeldv_set_device(uint8_t subnet, uint8_t node)
{
    Dev().Subnet = subnet;
    Dev().Node = uint8_t(node & 0x7F);
}

void fakeldv_add_file_frame(const uint8_t *bytes, size_t count)
{
    Dev().FileFrames.emplace_back(bytes, bytes + count);
}

size_t fakeldv_frames_written(void) { return Dev().Written; }

const char *ldv_get_version(void) { return "fake 1.0"; }

short ldv_open(const char *, short *handle)
{
    Dev().Open = true;
    *handle = 1;
    return LDV_OK;
}

short ldv_close(short)
{
    Dev().Open = false;
    return LDV_OK;
}

short ldv_read(short, void *buffer, short length)
{
    Device &d = Dev();
    if (d.Pending.empty() && d.EndingFrames > 0)
        d.Pending.push_back(ClosingFrame(ClosingFrames - d.EndingFrames--));
    if (d.Pending.empty())
        return LDV_NO_MSG_AVAIL;
    const Frame f = std::move(d.Pending.front());
    d.Pending.pop_front();
    if (length > 0 && !f.empty())
        std::memcpy(buffer, f.data(), std::min<size_t>(size_t(length), f.size()));
    return LDV_OK;
}

short ldv_write(short, const void *buffer, short length)
{
    ++Dev().Written;
    if (length > 0)
        Handle(static_cast<const uint8_t *>(buffer), size_t(length));
    return LDV_OK;
}

short ldv_register_event(short, void *) { return LDV_OK; }
short ldv_get_debug_info(short, void *, short) { return LDV_OK; }
short ldv_xlate_device_name(const char *, char *, int *) { return LDV_NOT_FOUND; }
short ldv_xlate_device_name_std(const char *, char *, int *) { return LDV_NOT_FOUND; }
short ldv_enable(short, short) { return LDV_OK; }

}
