// IP-852 datagrams as they arrive from the channel: the datagram walk (with and without a
// secret), the LonTalk frame of every packet, and frames rebuilt from a parse parse back
// to the same message.
#include "fuzz/FuzzCommon.h"
#include "lontalk/ip852/LonFrame.h"
#include "lontalk/ip852/Packet.h"

namespace {

void checkFrame(const QByteArray &bytes)
{
    const auto frame = ip852::parseFrame(bytes);
    if (!frame)
        return;
    LW_FUZZ_CHECK(frame->domain.size() <= 6);
    LW_FUZZ_CHECK(frame->memberList.size() <= 8);
    LW_FUZZ_CHECK(frame->apdu.size() < bytes.size());
    const QByteArray rebuilt = ip852::buildFrame(*frame);
    LW_FUZZ_CHECK(!rebuilt.isEmpty());
    const auto back = ip852::parseFrame(rebuilt);
    LW_FUZZ_CHECK(back.has_value());
    LW_FUZZ_CHECK(back->pdu == frame->pdu);
    LW_FUZZ_CHECK(back->address.format == frame->address.format);
    LW_FUZZ_CHECK(back->domain == frame->domain);
    LW_FUZZ_CHECK(back->apdu == frame->apdu);
    LW_FUZZ_CHECK(back->tid == frame->tid);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    static const QByteArray secret = QByteArray::fromHex("00112233445566778899aabbccddeeff");
    for (const QByteArray &key : {QByteArray(), secret}) {
        const ip852::DatagramParse parsed = ip852::parseDatagram(input, key);
        qsizetype total = 0;
        for (const ip852::Packet &p : parsed.packets) {
            LW_FUZZ_CHECK(p.header.size >= ip852::HeaderLength);
            total += p.header.size;
            checkFrame(p.body);
        }
        LW_FUZZ_CHECK(total <= input.size());
    }
    checkFrame(input);
    return 0;
}
