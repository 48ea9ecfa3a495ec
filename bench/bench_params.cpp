// FindParam over lists of 8 and 64 entries (QStringList and QVariantList), the name
// found last, and on a single text; the baseline is a startsWith loop over the QStringList.
#include "support/ParamList.h"

#include <benchmark/benchmark.h>

#include <QStringList>
#include <QVariantList>

namespace {

QStringList Entries(int count)
{
    QStringList list;
    for (int i = 1; i < count; ++i)
        list.append(QStringLiteral("PARAM%1=value %1").arg(i));
    list.append(QStringLiteral("COMMAND=GETDATA"));
    return list;
}

QVariant Params(int form, int count)
{
    const QStringList entries = Entries(count);
    if (form == 0)
        return QVariant(entries);
    QVariantList list;
    for (const QString &e : entries)
        list.append(e);
    return QVariant(list);
}

const char *const FormNames[] = {"stringlist", "variantlist"};

void BM_FindParam(benchmark::State &state)
{
    const QVariant params = Params(int(state.range(0)), int(state.range(1)));
    const QString name = QStringLiteral("COMMAND");
    QString value;
    for (auto _ : state)
        benchmark::DoNotOptimize(FindParam(params, name, value));
    state.SetLabel(FormNames[state.range(0)]);
}
BENCHMARK(BM_FindParam)->ArgsProduct({{0, 1}, {8, 64}});

// A single NAME=VALUE text as the whole list.
void BM_FindParamString(benchmark::State &state)
{
    const QVariant params(QStringLiteral("COMMAND=GETDATA"));
    QString value;
    for (auto _ : state)
        benchmark::DoNotOptimize(FindParam(params, QStringLiteral("COMMAND"), value));
}
BENCHMARK(BM_FindParamString);

void BM_ParamAsInteger(benchmark::State &state)
{
    const QVariant params(QStringList{QStringLiteral("SP1=LON1"), QStringLiteral("TIMEOUT=$1F")});
    qint32 value = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(ParamAsInteger(params, QStringLiteral("TIMEOUT"), value));
}
BENCHMARK(BM_ParamAsInteger);

// Baseline: the same search written directly on the QStringList, no variant unpacking.
void BM_BaselineStartsWith(benchmark::State &state)
{
    const QStringList entries = Entries(int(state.range(0)));
    const QString key = QStringLiteral("COMMAND=");
    for (auto _ : state) {
        QString value;
        for (const QString &e : entries) {
            if (e.startsWith(key)) {
                value = e.mid(key.size());
                break;
            }
        }
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_BaselineStartsWith)->Arg(8)->Arg(64);

} // namespace
