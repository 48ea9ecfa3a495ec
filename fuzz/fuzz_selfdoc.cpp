// Self-documentation: any bytes as the device's self-documentation, read from device
// memory or through Query SNVT by ReadSelfDocumentation, and parsed directly.
#include "fuzz/FakeDriver.h"
#include "fuzz/FuzzCommon.h"
#include "lonworks/LonLib.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace {

constexpr quint16 DocAddress = 0x4000;

// Each line is "{domain}{subnet}{node}{index}{snvt}{name}" with an index in range. Read
// in place: a check that allocated per line would cost more than the parse it checks.
void CheckLines(const QStringList &lines)
{
    const QLatin1StringView separator("}{");
    for (const QString &line : lines) {
        LW_FUZZ_CHECK(line.startsWith(u'{'));
        qsizetype start = 1;
        for (int field = 0; field < 3; ++field) {
            start = line.indexOf(separator, start);
            LW_FUZZ_CHECK(start >= 0);
            start += separator.size();
        }
        const qsizetype end = line.indexOf(separator, start);
        LW_FUZZ_CHECK(end >= 0 && line.indexOf(separator, end + separator.size()) >= 0);
        bool ok = false;
        const int index = QStringView(line).mid(start, end - start).toInt(&ok);
        LW_FUZZ_CHECK(ok && index >= 0 && index <= LonLib::MaxVariableIndex);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    LoadFakeDriver();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const bool byQuery = data[0] & 1;
    // A few bytes can declare arrays of 65,535 elements, one line each: the parse stops at
    // a budget of lines (the stop is code under test too), so every input costs little.
    // The walk to the last variable index is a unit test (tst_lonparse).
    constexpr int maxLines = 64;
    const std::span<const quint8> doc(data + 1, size - 1);
    // The read through the interface goes 16 bytes per exchange; past a few hundred bytes
    // it only repeats the same loop ever more slowly, so it gets the first 512 bytes while
    // the parse above takes the whole input.
    constexpr size_t interfaceBytes = 512;
    const std::span<const quint8> stored = doc.first(std::min(doc.size(), interfaceBytes));

    QStringList parsed;
    ParseSelfDocumentation(doc, 0, 1, 5, parsed, maxLines);
    LW_FUZZ_CHECK(parsed.size() <= maxLines);
    CheckLines(parsed);

    fakeldv_reset();
    fakeldv_set_device(1, 5);
    std::array<quint8, 13> readOnly{};
    readOnly[11] = byQuery ? 0xFF : quint8(DocAddress >> 8);
    readOnly[12] = byQuery ? 0xFF : quint8(DocAddress & 0xFF);
    fakeldv_set_memory(0xF000, readOnly.data(), readOnly.size());
    fakeldv_set_selfdoc_address(DocAddress);
    fakeldv_set_memory(DocAddress, stored.data(), stored.size());
    // The declared length (first two bytes) is kept near the bytes given: past them the
    // device reads zeros, and a 64 KiB read of zeros in 16-byte chunks only slows the run.
    if (stored.size() >= 2) {
        const size_t declared = size_t(stored[0]) << 8 | stored[1];
        const size_t kept = std::min(declared, stored.size() + 32);
        const std::array<quint8, 2> length{quint8(kept >> 8), quint8(kept & 0xFF)};
        fakeldv_set_memory(DocAddress, length.data(), length.size());
    }

    TniNetworkInterface ni = OpenFakeInterface();
    QStringList lines;
    LW_FUZZ_CHECK(ReadSelfDocumentation(ni, lines, 0, 1, 5, maxLines) == LonStatus::Ok);
    LW_FUZZ_CHECK(lines.size() <= maxLines);
    CheckLines(lines);
    return 0;
}
