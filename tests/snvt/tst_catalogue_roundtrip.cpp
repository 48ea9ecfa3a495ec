// Every point of every type in the catalogue, as discovery lists it, written and read back:
// numbers at the type's lowest, highest and a middle value, each just outside refused;
// enumerations by every member's name; bit fields at their largest value; texts. The rows
// come from the catalogue itself, so a type added to it is tested too.
#include "snvt/Catalogue.h"
#include "snvt/FieldDecoder.h"
#include "snvt/FieldEncoder.h"
#include "snvt/FieldLayouts.h"
#include "snvt/LonDefines.h"
#include "snvt/TypeRange.h"
#include "snvt/VariableTypes.h"

#include <QLocale>
#include <QTest>

#include <cmath>

Q_DECLARE_METATYPE(FieldRow)

namespace {

QList<FieldRow> PointsOf(int number)
{
    const SnvtTypeInfo *info = FindSnvtType(number);
    if (!info || info->expansion == ExpansionGroup::None || info->expansion == ExpansionGroup::Opaque)
        return {};
    if (info->expansion == ExpansionGroup::Single)
        return {FieldRow{QString(), 0, info->variableType, number, info->kind, QString(), false}};
    if (info->expansion == ExpansionGroup::Text)
        return {FieldRow{QString(), 0, VarText, 31, KindString, QString(), false}};
    return FieldLayout(number);
}

QString Text(double value)
{
    return QString::number(value, 'f', 10);
}

} // namespace

class TestCatalogueRoundTrip : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void points_data();
    void points();
};

void TestCatalogueRoundTrip::points_data()
{
    QTest::addColumn<FieldRow>("row");
    QTest::addColumn<bool>("tempsInF");
    for (int number = 1; number <= HighestSnvtNumber; ++number) {
        for (const FieldRow &row : PointsOf(number)) {
            QTest::addRow("%d%s", number, qPrintable(row.suffix)) << row << false;
            if (row.parameter == 105 || row.parameter == 39)
                QTest::addRow("%d%s F", number, qPrintable(row.suffix)) << row << true;
        }
    }
}

void TestCatalogueRoundTrip::points()
{
    QFETCH(FieldRow, row);
    QFETCH(bool, tempsInF);
    const auto write = [&](const QString &value, QByteArray &bytes) {
        return bool(EncodeField(value, bytes, int(bytes.size()), row.offset, row.variableType,
                                row.parameter, tempsInF));
    };
    const auto read = [&](const QByteArray &bytes) {
        return DecodeField(bytes, int(bytes.size()), row.offset, row.variableType, row.parameter,
                           tempsInF);
    };
    QByteArray zero(qMax(64, row.offset + 32), '\0');
    if (row.variableType >= VarDate && row.variableType <= VarDateTime)
        QSKIP("dates and times are written as the host's texts (tst_snvt_encode)");

    if (row.variableType == VarText) {
        QByteArray bytes = zero;
        QVERIFY(write(QStringLiteral("AB"), bytes));
        QCOMPARE(read(bytes), QStringLiteral("AB"));
        return;
    }
    if (row.variableType == VarBitField) {
        const unsigned mask = unsigned(row.parameter) & 0xFF;
        unsigned largest = mask;
        while (!(largest & 1))
            largest >>= 1;
        QByteArray bytes = zero;
        QVERIFY(write(QString::number(largest), bytes));
        QCOMPARE(read(bytes), QString::number(largest));
        QVERIFY(!write(QString::number(largest + 1), bytes));
        return;
    }
    const auto range = PointTypeRange(row.parameter, row.offset, row.variableType, tempsInF);
    if (range && range->enumeration >= 0) {
        for (const SnvtCatalogue::EnumMember &member : SnvtCatalogue::MembersOf(range->enumeration)) {
            QByteArray bytes = zero;
            QVERIFY2(write(QLatin1String(member.name).toString().toLower(), bytes), member.name);
            QCOMPARE(read(bytes), QLatin1String(member.name));
            QByteArray byNumber = zero;
            QVERIFY(write(QString::number(member.value), byNumber));
            QCOMPARE(byNumber, bytes);
        }
        QByteArray bytes = zero;
        QVERIFY(!write(QStringLiteral("NO_SUCH_MEMBER"), bytes));
        QCOMPARE(bytes, zero);
        return;
    }

    // Numbers: the type's range where it has one, else a few values every field holds.
    QList<double> values{0.0, 1.0};
    if (range) {
        const double low = std::isinf(range->low) ? -1.0 : range->low;
        const double high = std::isinf(range->high) ? 1.0 : range->high;
        const double middle = range->step > 0 ? low + range->step * std::floor((high - low) / 2 / range->step)
                                              : (low + high) / 2;
        values = {low, middle, high};
    }
    // Within one raw step: the driver's own rules up to 122 truncate toward zero, so a
    // decimal text a hair below its step lands on the step beneath.
    const double tolerance = range && range->step > 0 ? range->step : 1e-6;
    for (double value : values) {
        QByteArray bytes = zero;
        QVERIFY2(write(Text(value), bytes), qPrintable(Text(value)));
        const double back = read(bytes).toDouble();
        QVERIFY2(std::fabs(back - value) <= tolerance * (1 + 1e-6) + std::fabs(value) * 1e-7,
                 qPrintable(Text(value) + u" read back as " + read(bytes)));
    }
    if (!range)
        return;
    const double outside = range->step > 0 ? range->step : 1.0;
    for (double value : {range->low - outside, range->high + outside}) {
        if (std::isinf(value))
            continue;
        QByteArray bytes = zero;
        QVERIFY2(!write(Text(value), bytes), qPrintable(Text(value)));
        QCOMPARE(bytes, zero);
    }
}

QTEST_GUILESS_MAIN(TestCatalogueRoundTrip)
#include "tst_catalogue_roundtrip.moc"
