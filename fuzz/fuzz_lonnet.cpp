// Frames as they come off a LON network device (lonN): the parse by the length byte
// (extended frames, trailing bytes), the classic frame handed on going back down in the
// same form, and the adapter stand-in taking the bytes as a frame from the host.
#include "fuzz/FuzzCommon.h"
#include "lonsim/NetworkRegistry.h"
#include "lonsim/usb/UsbAdapter.h"
#include "lontalk/LinkFrames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace lontalk::link;
    const int length = int(std::min<size_t>(size, 4096));
    const auto parsed = parseLinkFrame(data, length);
    if (parsed && !parsed->tooLong) {
        const QByteArray &frame = parsed->frame;
        LW_FUZZ_CHECK(frame.size() >= 2 && frame.size() == 2 + uint8_t(frame[1]));
        LW_FUZZ_CHECK(frame.size() <= length);
        const auto down = toDevice(reinterpret_cast<const uint8_t *>(frame.constData()), int(frame.size()));
        LW_FUZZ_CHECK(down.has_value());
        const auto again = parseLinkFrame(reinterpret_cast<const uint8_t *>(down->constData()), int(down->size()));
        LW_FUZZ_CHECK(again && !again->tooLong && again->frame == frame);
    }
    static lonsim::Network *network = [] {
        QString error;
        return lonsim::NetworkRegistry::instance().obtain(
            QStringLiteral("LON1"),
            [] { return lonsim::loadDescription(lonsim::builtinNetwork(QStringLiteral("LON1")), QStringLiteral("LON1.json")); },
            error);
    }();
    static lonsim::usb::UsbAdapter adapter(*network, QStringLiteral("lon0"), lonsim::usb::UsbAdapter::Module::U50);
    const QByteArray bytes(reinterpret_cast<const char *>(data), length);
    for (const QByteArray &up : adapter.fromHost(bytes) + adapter.toHost()) {
        const auto back = parseLinkFrame(reinterpret_cast<const uint8_t *>(up.constData()), int(up.size()));
        LW_FUZZ_CHECK(back.has_value());
    }
    return 0;
}
