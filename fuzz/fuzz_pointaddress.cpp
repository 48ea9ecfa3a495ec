// Point addresses: any text through the parser, the value key, the scale rule and the
// POINTVERIFY checks.
#include "fuzz/FuzzCommon.h"
#include "snvt/PointAddress.h"
#include "snvt/PointVerify.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    PinLocale(in.ConsumeBool());
    const QString text = FuzzText(in, 512);

    PointAddress address;
    address.ObjectName = QStringLiteral("stale");
    const bool parsed = ParsePointAddress(text, address);
    LW_FUZZ_CHECK(address.ObjectName.size() <= PointObjectNameLength);
    if (!address.HasObject)
        LW_FUZZ_CHECK(address.ObjectName.isEmpty());

    const QString key = PointValueKey(text);
    LW_FUZZ_CHECK(text.startsWith(key));
    LW_FUZZ_CHECK(key.count(u':') <= 3);

    ScaleNumber(text);
    const QString verdict = VerifyPointAddress(text);
    if (!parsed)
        LW_FUZZ_CHECK(!verdict.isEmpty());
    return 0;
}
