#include "lonworks/LonLib.h"
#include "lonworks/LDV32.h"
#include "lonworks/LonWait.h"


#include <algorithm>

namespace {

// Receives the packets of one file sent by node; the bytes stored in buffer.
class TFileReceiver
{
public:
    TFileReceiver(TniNetworkInterface &ni, const TniDomainTableEntry &local, quint8 subnet,
                  quint8 node, std::span<quint8> buffer)
        : FNi(ni), FLocal(local), FSubnet(subnet), FNode(node), FBuffer(buffer) {}

    int Run()
    {
        int idle = 0;
        for (int frames = 0; frames < LonLib::MaxFileFrames;) {
            std::array<quint8, LonWire::ReadBufferSize> raw{};
            if (LDV32::Read(FNi.Handle(), raw.data(), qint16(raw.size())) != 0) {
                LonLib::Pause(LonLib::FileIntervalMs);
                if (++idle > LonLib::FileIdleLimit || LonLib::WaitingStopped())
                    return 0;
                continue;
            }
            idle = 0;
            ++frames;
            LonWire::TFilePacket packet;
            if (LonWire::ParseFilePacket(raw, packet) && packet.SourceNode == FNode && Take(raw, packet))
                return int(FStored);
        }
        return 0;
    }

private:
    // True when the packet ended the transfer.
    bool Take(std::span<const quint8> raw, const LonWire::TFilePacket &packet)
    {
        bool last = false;
        if (packet.Block == FBlock && packet.Packet == FPacket) {
            const size_t n = std::min(packet.Data.size(), FBuffer.size() - FStored);
            std::copy_n(packet.Data.begin(), n, FBuffer.begin() + FStored);
            FStored += n;
            FPacket = quint8(packet.Packet + 1);
            FAck = quint8(packet.Packet + 1);
            if (packet.Packet == 5) {
                FPacket = 0;
                FBlock = quint8((FBlock + 1) & 0x0F);
            }
            last = packet.Data.size() < 32;
        }
        if (packet.Packet == 5) {
            const auto ack = LonWire::BuildFileAck(raw[2], FLocal.Subnet, FLocal.Node, FSubnet,
                                                   FNode, FAck);
            LDV32::Write(FNi.Handle(), ack.data(), qint16(ack.size()));
        }
        return last;
    }

    TniNetworkInterface &FNi;
    const TniDomainTableEntry &FLocal;
    quint8 FSubnet;
    quint8 FNode;
    std::span<quint8> FBuffer;
    size_t FStored = 0;
    quint8 FBlock = 0;
    quint8 FPacket = 0;
    quint8 FAck = 0;
};

} // namespace

int ReadFile(TniNetworkInterface &ni, quint8 domain, quint8 subnet, quint8 node,
             quint16 fileIndex, quint16 requestIndex, std::span<quint8> buffer)
{
    if (domain > 1)
        return 0;
    const TniDomainTableEntry &local = ni.Domain(domain);
    std::array<quint8, 12> request{0, quint8(fileIndex >> 8), quint8(fileIndex & 0xFF), 7, 0xD0, 1,
                                   quint8(domain << 7 | (local.Node & 0x7F)), 2, 10, local.Subnet, 0, 0};
    if (UpdateNetworkVariable(ni, domain, subnet, node, requestIndex, request) != LonStatus::Ok)
        return 0;
    int result = 0;
    try {
        result = TFileReceiver(ni, local, subnet, node, buffer).Run();
    } catch (...) {
        // Nothing below throws by design; a failure ends the transfer with nothing kept.
    }
    request[0] = 2;
    UpdateNetworkVariable(ni, domain, subnet, node, requestIndex, request);
    return result;
}
