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

// Each line is "{domain}{subnet}{node}{index}{snvt}{name}" with an index in range.
void CheckLines(const QStringList &lines)
{
    for (const QString &line : lines) {
        LW_FUZZ_CHECK(line.startsWith(u'{'));
        const QStringList parts = line.mid(1).split(QStringLiteral("}{"));
        LW_FUZZ_CHECK(parts.size() >= 6);
        bool ok = false;
        const int index = parts[3].toInt(&ok);
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
    const std::span<const quint8> doc(data + 1, size - 1);

    QStringList parsed;
    ParseSelfDocumentation(doc, 0, 1, 5, parsed);
    CheckLines(parsed);
    // Arrays of up to 65,535 elements give that many lines; the parse above has covered
    // them, and reading the same bytes again over the network only halves the run rate.
    if (parsed.size() > 4096)
        return 0;

    fakeldv_reset();
    fakeldv_set_device(1, 5);
    std::array<quint8, 13> readOnly{};
    readOnly[11] = byQuery ? 0xFF : quint8(DocAddress >> 8);
    readOnly[12] = byQuery ? 0xFF : quint8(DocAddress & 0xFF);
    fakeldv_set_memory(0xF000, readOnly.data(), readOnly.size());
    fakeldv_set_selfdoc_address(DocAddress);
    fakeldv_set_memory(DocAddress, doc.data(), std::min<size_t>(doc.size(), 0xB000));
    // The declared length (first two bytes) is kept near the bytes given: past them the
    // device reads zeros, and a 64 KiB read of zeros in 16-byte chunks only slows the run.
    if (doc.size() >= 2) {
        const size_t declared = size_t(doc[0]) << 8 | doc[1];
        const size_t kept = std::min(declared, doc.size() + 32);
        const std::array<quint8, 2> length{quint8(kept >> 8), quint8(kept & 0xFF)};
        fakeldv_set_memory(DocAddress, length.data(), length.size());
    }

    TniNetworkInterface ni = OpenFakeInterface();
    QStringList lines;
    LW_FUZZ_CHECK(ReadSelfDocumentation(ni, lines, 0, 1, 5) == LonStatus::Ok);
    CheckLines(lines);
    return 0;
}
