// The compiled catalogue rows against the facts file they are generated from, read here on
// their own: every type's number, name, kind, size and mark; every value of a type (a
// scalar's own, each field of a structure, flattened by this test's own walk) with its
// offset, reading, scaling, range, units and enumeration; every enumeration's members.
#include "snvt/Catalogue.h"
#include "snvt/VariableTypes.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <cmath>

namespace {

using namespace SnvtCatalogue;

// The misprints the generator corrects (snvt/catalogue and docs/point-formats.md).
const QHash<int, std::pair<double, double>> kCorrectedRanges{{39, {-274.0, 6279.5}}};

struct Expected
{
    QString path;
    int offset = 0;
    int code = 0;
    int extent = 0;
    QJsonObject facts;
};

int CodeOf(const QJsonObject &raw)
{
    if (raw.value("type").toString() == "float")
        return VarFloat;
    const int bits = raw.value("bits").toInt();
    const bool sign = raw.value("signed").toBool();
    if (bits == 8)
        return sign ? VarSignedByte : VarUnsignedByte;
    if (bits == 16)
        return sign ? VarSigned16 : VarUnsigned16;
    return sign ? VarSigned32 : VarUnsigned32;
}

void Walk(const QJsonArray &fields, const QString &prefix, int shift, QList<Expected> &out)
{
    for (const QJsonValue &value : fields) {
        const QJsonObject field = value.toObject();
        if (field.value("unnamed_bits").toBool())
            continue;
        const QString name = field.value("name").toString();
        const QString path = prefix.isEmpty() ? name : prefix + '.' + name;
        const int offset = field.value("offset").toInt() + shift;
        if (field.contains("bit_width")) {
            out.append({path, offset, VarBitField, field.value("mask").toInt(), field});
        } else if (field.contains("array")) {
            const QJsonObject element = field.value("element").toObject();
            const int count = field.value("array").toInt();
            static const QStringList texts{"ascii", "name", "description", "location"};
            if (texts.contains(name) && element.value("size").toInt() == 1) {
                out.append({path, offset, VarText, count, element});
                continue;
            }
            for (int i = 0; i < count; ++i) {
                const int at = offset + i * element.value("size").toInt();
                const QString item = QStringLiteral("%1[%2]").arg(path).arg(i);
                if (element.contains("fields"))
                    Walk(element.value("fields").toArray(), item, at, out);
                else
                    out.append({item, at, CodeOf(element.value("raw").toObject()), 0, element});
            }
        } else if (field.contains("fields")) {
            Walk(field.value("fields").toArray(), path, shift, out);
        } else {
            out.append({path, offset, CodeOf(field.value("raw").toObject()), 0, field});
        }
    }
}

bool SameNumber(double actual, const QJsonValue &expected)
{
    if (expected.isUndefined() || expected.isNull())
        return std::isnan(actual);
    return actual == expected.toDouble();
}

} // namespace

class TestCatalogueFacts : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void types_data();
    void types();
    void enumerations();
    void highestNumber();

private:
    QJsonObject m_facts;
};

void TestCatalogueFacts::initTestCase()
{
    QFile file(QStringLiteral(LW_SNVT_FACTS));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    m_facts = QJsonDocument::fromJson(file.readAll()).object();
    QVERIFY(!m_facts.isEmpty());
}

void TestCatalogueFacts::types_data()
{
    QTest::addColumn<QJsonObject>("facts");
    const QJsonArray types = m_facts.value("types").toArray();
    QCOMPARE(qsizetype(Types().size()), types.size());
    for (const QJsonValue &type : types)
        QTest::addRow("%d", type.toObject().value("number").toInt()) << type.toObject();
}

void TestCatalogueFacts::types()
{
    QFETCH(QJsonObject, facts);
    const int number = facts.value("number").toInt();
    const Type *type = FindType(number);
    QVERIFY(type);
    QCOMPARE(QString::fromLatin1(type->name), facts.value("name").toString());
    QCOMPARE(FindTypeByName(facts.value("name").toString()), type);
    QCOMPARE(type->size, facts.value("size").isNull() ? -1 : facts.value("size").toInt());
    QCOMPARE(type->obsolete, facts.value("obsolete").toBool());
    const QString kind = facts.value("kind").toString();
    const QHash<QString, TypeKind> kinds{{"scaled", TypeKind::Scaled}, {"float", TypeKind::Float},
                                         {"enum", TypeKind::Enumeration},
                                         {"structure", TypeKind::Structure},
                                         {"unknown", TypeKind::Unknown}};
    QCOMPARE(type->kind, kinds.value(kind));

    QList<Expected> expected;
    if (kind == "structure")
        Walk(facts.value("fields").toArray(), QString(), 0, expected);
    else if (kind != "unknown")
        expected.append({QString(), 0, CodeOf(facts.value("raw").toObject()), 0, facts});
    const auto fields = FieldsOf(*type);
    QCOMPARE(qsizetype(fields.size()), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const Field &field = fields[std::size_t(i)];
        const Expected &want = expected.at(i);
        const QByteArray where = QByteArray::number(number) + ' ' + want.path.toLatin1();
        QVERIFY2(QLatin1String(field.path) == want.path, where.constData());
        QVERIFY2(field.offset == want.offset && field.code == want.code
                     && field.extent == want.extent, where.constData());
        const QJsonObject scaling = want.facts.value("scaling").toObject();
        QVERIFY2(field.multiplier == scaling.value("A").toInt(1)
                     && field.exponent == scaling.value("B").toInt(0)
                     && field.bias == scaling.value("C").toInt(0), where.constData());
        if (kCorrectedRanges.contains(number)) {
            QCOMPARE(field.min, kCorrectedRanges.value(number).first);
            QCOMPARE(field.max, kCorrectedRanges.value(number).second);
        } else {
            QVERIFY2(SameNumber(field.min, want.facts.value("min"))
                         && SameNumber(field.max, want.facts.value("max")), where.constData());
        }
        QVERIFY2(SameNumber(field.invalid, want.facts.value("invalid")), where.constData());
        QVERIFY2(QString::fromUtf16(field.units) == want.facts.value("units").toString(),
                 where.constData());
        QVERIFY2(EnumerationName(field.enumeration) == want.facts.value("enum").toString(),
                 where.constData());
        const QString reused = want.facts.value("type_ref").toString();
        QVERIFY2(reused.isEmpty() ? field.reuses == 0 : FindTypeByName(reused)->number == field.reuses,
                 where.constData());
    }
}

void TestCatalogueFacts::enumerations()
{
    const QJsonObject enums = m_facts.value("enums").toObject();
    QCOMPARE(qsizetype(Enumerations().size()), enums.size());
    for (int i = 0; i < int(Enumerations().size()); ++i) {
        const QJsonArray values = enums.value(EnumerationName(i)).toObject().value("values").toArray();
        const auto members = MembersOf(i);
        QCOMPARE(qsizetype(members.size()), values.size());
        for (qsizetype k = 0; k < values.size(); ++k) {
            const QJsonObject value = values.at(k).toObject();
            QCOMPARE(members[std::size_t(k)].value, value.value("value").toInt());
            QCOMPARE(QLatin1String(members[std::size_t(k)].name), value.value("name").toString());
        }
    }
}

void TestCatalogueFacts::highestNumber()
{
    QCOMPARE(int(Types().back().number), HighestSnvtNumber);
    QVERIFY(!FindType(0));
    for (int unassigned : {140, 141, 142, 167, HighestSnvtNumber + 1, -1})
        QVERIFY(!FindType(unassigned));
    QCOMPARE(FindTypeByName(u"temp_p")->number, 105);
    QCOMPARE(FindTypeByName(u"  snvt_TEMP_P ")->number, 105);
    QVERIFY(!FindTypeByName(u"SNVT_nothing"));
}

QTEST_GUILESS_MAIN(TestCatalogueFacts)
#include "tst_catalogue_facts.moc"
