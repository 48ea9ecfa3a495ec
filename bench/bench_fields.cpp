// DecodeField and EncodeField per variable type code, against the baseline of reading
// the same bytes as a number and formatting it with FormatFixed (no bounds, no scaling).
#include "snvt/FieldDecoder.h"
#include "snvt/FieldEncoder.h"
#include "snvt/VariableTypes.h"
#include "support/StrLib.h"

#include <benchmark/benchmark.h>

#include <QByteArray>

namespace {

struct Case
{
    int code;
    int parameter;
    QByteArray bytes;
    QString value;
};

// Index by the benchmark's argument: the common shapes of points.
const Case &CaseOf(int i)
{
    static const Case cases[] = {
        {VarUnsignedByte, 0, QByteArray::fromHex("2A"), QStringLiteral("42")},
        {VarSigned16, 105, QByteArray::fromHex("07D0"), QStringLiteral("20.5")},   // scaled temperature
        {VarFloat, 0, QByteArray::fromHex("41AC0000"), QStringLiteral("21.5")},
        {VarText, 31, QByteArray("Outside air\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 31),
         QStringLiteral("Outside air")},
        {VarBitField, 0x70, QByteArray::fromHex("5A"), QStringLiteral("3")},
        {VarDateTime, 0, QByteArray::fromHex("07E8030F0C1E2D"), QStringLiteral("3/15/24 12:30:45 PM")},
    };
    return cases[i];
}

const char *const CaseNames[] = {"u8", "s16_temp", "float", "text31", "bits", "datetime"};

void BM_DecodeField(benchmark::State &state)
{
    const Case &c = CaseOf(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeField(c.bytes, int(c.bytes.size()), 0, c.code, c.parameter, false));
    state.SetLabel(CaseNames[state.range(0)]);
}
BENCHMARK(BM_DecodeField)->DenseRange(0, 5);

void BM_EncodeField(benchmark::State &state)
{
    const Case &c = CaseOf(int(state.range(0)));
    QByteArray buffer = c.bytes;
    for (auto _ : state) {
        benchmark::DoNotOptimize(EncodeField(c.value, buffer, int(buffer.size()), 0, c.code, c.parameter, false));
        benchmark::ClobberMemory();
    }
    state.SetLabel(CaseNames[state.range(0)]);
}
BENCHMARK(BM_EncodeField)->DenseRange(0, 5);

// Baseline: the bare work of a numeric point, big-endian read and fixed-point text.
void BM_BaselineReadAndFormat(benchmark::State &state)
{
    const QByteArray bytes = QByteArray::fromHex("07D0");
    for (auto _ : state) {
        const int raw = qint16(quint8(bytes[0]) << 8 | quint8(bytes[1]));
        benchmark::DoNotOptimize(FormatFixed(raw / 100.0, 4));
    }
}
BENCHMARK(BM_BaselineReadAndFormat);

// Baseline: the bare work of writing a numeric point, number text to big-endian bytes.
void BM_BaselineParseAndWrite(benchmark::State &state)
{
    QByteArray buffer(2, '\0');
    const QString text = QStringLiteral("20.5");
    for (auto _ : state) {
        const int raw = int(text.toDouble() * 100.0);
        buffer[0] = char(raw >> 8);
        buffer[1] = char(raw);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BaselineParseAndWrite);

} // namespace
