// Point fields: DecodeField and EncodeField on any bytes, lengths, offsets, codes,
// parameters and value texts. Encoding changes nothing outside its field and nothing at
// all when it fails; a value decoded and written back leaves numeric fields unchanged.
#include "fuzz/FuzzCommon.h"
#include "snvt/Catalogue.h"
#include "snvt/FieldDecoder.h"
#include "snvt/FieldEncoder.h"
#include "snvt/VariableTypes.h"

#include <QByteArray>

#include <algorithm>
#include <limits>

namespace {

bool SameOutside(const QByteArray &before, const QByteArray &after, int offset, int width)
{
    if (before.size() != after.size())
        return false;
    for (qsizetype i = 0; i < before.size(); ++i) {
        if ((i < offset || i >= qint64(offset) + width) && before[i] != after[i])
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    PinLocale(in.ConsumeBool());
    const bool tempsInF = in.ConsumeBool();
    const int code = in.ConsumeIntegralInRange<int>(-2, MaxVariableTypeCode + 2);
    const int offset = in.ConsumeBool() ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange<int>(-2, 40);
    int parameter = in.ConsumeBool() ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange<int>(-2, HighestSnvtNumber + 2);
    const int lengthDelta = in.ConsumeIntegralInRange<int>(-8, 8);
    const QString value = FuzzText(in, 64);
    const std::string raw = in.ConsumeRemainingBytesAsString();
    const QByteArray original(raw.data(), qsizetype(raw.size()));
    const int length = int(original.size()) + lengthDelta;

    const QString text = DecodeField(original, length, offset, code, parameter, tempsInF);

    QByteArray buffer = original;
    const EncodeResult written = EncodeField(value, buffer, length, offset, code, parameter, tempsInF);
    // The check without the bytes refuses nothing the encoder writes.
    LW_FUZZ_CHECK(!written || CheckFieldValue(value, code, parameter, tempsInF, 0.0, offset));
    if (!written) {
        LW_FUZZ_CHECK(buffer == original);
        LW_FUZZ_CHECK(!written.Reason.isEmpty());
    } else {
        // A text field always takes its terminating zero byte, whatever the parameter.
        const int width = code == VarText ? std::max(parameter, 1) : FieldWidth(code);
        LW_FUZZ_CHECK(SameOutside(original, buffer, offset, width));
    }

    // Whole numbers read back as written: the decoded text of an unscaled field.
    const bool plainInteger = (code == VarUnsignedByte || code == VarSigned16 || code == VarSigned32)
                              && parameter == 0;
    if (plainInteger && !text.isEmpty()) {
        QByteArray again = original;
        LW_FUZZ_CHECK(EncodeField(text, again, length, offset, code, parameter, tempsInF));
        LW_FUZZ_CHECK(again == original);
    }
    return 0;
}
