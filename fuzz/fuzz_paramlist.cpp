// Parameter lists: any text, split into QString, QStringList or QVariantList entries of
// strings, numbers and unreadable elements, looked up by any name.
#include "support/ParamList.h"
#include "fuzz/FuzzCommon.h"

#include <QStringList>
#include <QVariantList>

namespace {

QVariant Element(FuzzedDataProvider &in)
{
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return QVariant(in.ConsumeIntegral<qint32>());
    case 1: return QVariant(in.ConsumeFloatingPoint<double>());
    case 2: return QVariant(in.ConsumeBool());
    case 3: return QVariant();                                  // no text form
    case 4: return QVariant(QStringList{FuzzText(in, 16)});     // nested list
    default: return QVariant(FuzzText(in, 64));
    }
}

QVariant List(FuzzedDataProvider &in)
{
    const int form = in.ConsumeIntegralInRange<int>(0, 2);
    const int count = in.ConsumeIntegralInRange<int>(0, 16);
    if (form == 0)
        return QVariant(FuzzText(in, 128));
    if (form == 1) {
        QStringList list;
        for (int i = 0; i < count && in.remaining_bytes(); ++i)
            list.append(FuzzText(in, 64));
        return QVariant(list);
    }
    QVariantList list;
    for (int i = 0; i < count && in.remaining_bytes(); ++i)
        list.append(Element(in));
    return QVariant(list);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    PinLocale(in.ConsumeBool());
    const QString name = FuzzText(in, 12);
    const QVariant params = List(in);

    QString value = QStringLiteral("stale");
    try {
        if (FindParam(params, name, value)) {
            if (params.typeId() == QMetaType::QStringList)
                LW_FUZZ_CHECK(params.toStringList().contains(name + u'=' + value));
        } else {
            LW_FUZZ_CHECK(value.isEmpty());
        }
    } catch (const ParamListError &) {
        // An unreadable element is reported by FindParam alone.
    }

    qint32 number = -1;
    if (!ParamAsInteger(params, name, number))
        LW_FUZZ_CHECK(number == 0);
    bool flag = true;
    ParamAsBoolean(params, name, flag);
    double real = -1.0;
    if (!ParamAsFloat(params, name, real))
        LW_FUZZ_CHECK(real == 0.0);

    // A list built from the readers' own entries is found again.
    const QString entry = StrParam(QStringLiteral("KEY"), value);
    QString again;
    LW_FUZZ_CHECK(FindParam(QVariant(QStringList{entry}), QStringLiteral("KEY"), again));
    LW_FUZZ_CHECK(again == value);
    return 0;
}
