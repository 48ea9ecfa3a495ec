#pragma once
// Shared pieces of the fuzz targets: invariant checks that abort (so libFuzzer records
// the input), a pinned host locale, and text made from fuzzed bytes.

#include <fuzzer/FuzzedDataProvider.h>

#include <QLocale>
#include <QString>

#include <cstdio>
#include <cstdlib>

#define LW_FUZZ_CHECK(condition)                                                       \
    do {                                                                               \
        if (!(condition)) {                                                            \
            std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #condition, __FILE__, \
                         __LINE__);                                                    \
            std::abort();                                                              \
        }                                                                              \
    } while (false)

// The locales the targets switch between: a decimal point and a decimal comma.
inline void PinLocale(bool comma)
{
    static const QLocale point(QLocale::English, QLocale::UnitedStates);
    static const QLocale decimalComma(QLocale::German, QLocale::Germany);
    QLocale::setDefault(comma ? decimalComma : point);
}

// Fuzzed bytes as text: UTF-8 decoding keeps ASCII separators intact and still lets
// the fuzzer produce any character.
inline QString FuzzText(FuzzedDataProvider &in, size_t maxLength)
{
    const std::string bytes = in.ConsumeRandomLengthString(maxLength);
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}
