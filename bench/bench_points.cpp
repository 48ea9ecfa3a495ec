// ParsePointAddress on the address shapes clients send, against the baseline of
// splitting the same text at ":" and converting each field with QString::toInt.
#include "snvt/PointAddress.h"

#include <benchmark/benchmark.h>

#include <QStringList>

namespace {

const QString Addresses[] = {
    QStringLiteral("0:1:5:3:39:0:3:39"),
    QStringLiteral("0:1:5:3:39:0:3:39,1.8,D-Outside Air"),
    QStringLiteral("1:$0A:x7F:0x3F:105:2:4:105"),
};
const char *const AddressNames[] = {"plain", "scale_object", "hex"};

void BM_ParsePointAddress(benchmark::State &state)
{
    const QString &text = Addresses[state.range(0)];
    PointAddress address;
    for (auto _ : state)
        benchmark::DoNotOptimize(ParsePointAddress(text, address));
    state.SetLabel(AddressNames[state.range(0)]);
}
BENCHMARK(BM_ParsePointAddress)->DenseRange(0, 2);

void BM_PointValueKey(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(PointValueKey(Addresses[0]));
}
BENCHMARK(BM_PointValueKey);

// Baseline: split and toInt of the plain address (no hexadecimal, sign or range rules).
void BM_BaselineSplitToInt(benchmark::State &state)
{
    for (auto _ : state) {
        int sum = 0;
        for (const QString &field : Addresses[0].split(u':'))
            sum += field.toInt();
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_BaselineSplitToInt);

} // namespace
