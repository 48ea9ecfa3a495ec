// The self-documentation parse (versions 0 and 1, arrays, names, devices that lie about
// lengths and terminators) and the domain ID text.
#include "SelfDocBuilder.h"
#include "lonworks/LonLib.h"

#include <QTest>

#include <vector>

namespace {

TDocVariable Var(quint8 snvt, const QByteArray &name, int array = 0)
{
    TDocVariable v;
    v.Snvt = snvt;
    v.Name = name;
    v.Array = array;
    return v;
}

TDocVariable NoRecord(quint8 snvt)
{
    TDocVariable v;
    v.Snvt = snvt;
    v.Record = false;
    return v;
}

TDocVariable Documented(quint8 snvt, const QByteArray &doc, int array = 0)
{
    TDocVariable v;
    v.Snvt = snvt;
    v.Doc = doc;
    v.Array = array;
    return v;
}

QStringList Parse(const QByteArray &doc)
{
    // Exactly the bytes read, on the heap, so a read past them is caught.
    const std::vector<quint8> bytes(doc.begin(), doc.end());
    QStringList lines;
    ParseSelfDocumentation(bytes, 0, 1, 2, lines);
    return lines;
}

QString L(int index, int snvt, const QString &name)
{
    return QStringLiteral("{0}{1}{2}{%1}{%2}{%3}").arg(index).arg(snvt).arg(name);
}

} // namespace

class TestLonParse : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void selfDocumentation_data()
    {
        QTest::addColumn<QByteArray>("doc");
        QTest::addColumn<QStringList>("expected");

        TDocVariable both = Var(9, "named");
        both.Doc = "ignored;other";
        TDocVariable skipping = Var(8, "afterSkips");
        skipping.SkipHigh = skipping.SkipNext = true;
        QTest::newRow("version 0: one descriptor per variable")
            << BuildSelfDoc(0, {Var(105, "temp"), NoRecord(1), Documented(3, "@0|1;fromDoc"),
                                Documented(4, "no separator"), both, skipping})
            << QStringList{L(0, 105, "temp"), L(2, 3, "fromDoc"), L(3, 4, "NoName3"),
                           L(4, 9, "named"), L(5, 8, "afterSkips")};
        QTest::newRow("version 0 has no array count field")
            << BuildSelfDoc(0, {Var(1, "a"), Var(2, "b", 3), Var(3, "c")})
            << QStringList{L(0, 1, "a"), L(1, 2, "b"), L(2, 3, "c")};
        QTest::newRow("version 1: arrays in the middle")
            << BuildSelfDoc(1, {Var(1, "a"), Var(105, "temp", 3), Var(3, "c"), Documented(4, "x;", 2),
                                Var(5, "e")})
            << QStringList{L(0, 1, "a"), L(1, 105, "temp[0]"), L(2, 105, "temp[1]"),
                           L(3, 105, "temp[2]"), L(4, 3, "c"), L(5, 4, "NoName5[0]"),
                           L(6, 4, "NoName5[1]"), L(7, 5, "e")};
        QTest::newRow("version 1: variables without records keep their index")
            << BuildSelfDoc(1, {NoRecord(1), Documented(2, "d;fromDoc", 2), NoRecord(3), Var(4, "y")})
            << QStringList{L(1, 2, "fromDoc[0]"), L(2, 2, "fromDoc[1]"), L(4, 4, "y")};
        QTest::newRow("version 1: an array of one element has no brackets")
            << BuildSelfDoc(1, {Var(1, "one", 1), Var(2, "two")})
            << QStringList{L(0, 1, "one"), L(1, 2, "two")};
        QTest::newRow("no variables") << BuildSelfDoc(1, {}) << QStringList{};

        // Devices that lie.
        const QByteArray good = BuildSelfDoc(1, {Var(1, "a"), Var(2, "bb", 2), Var(3, "c")});
        QTest::newRow("record cut short by the bytes read")
            << good.left(good.size() - 3) << QStringList{L(0, 1, "a"), L(1, 2, "bb[0]"), L(2, 2, "bb[1]")};
        QByteArray manyVariables = good;
        manyVariables[2] = char(0xFF);
        manyVariables[4] = char(0xFF);
        QTest::newRow("count far larger than the bytes") << manyVariables << QStringList{};
        QTest::newRow("descriptors cut off") << good.left(8) << QStringList{};
        QTest::newRow("device string without terminator")
            << BuildSelfDoc(1, {Var(1, "a")}, "device").left(6 + 2 + 6) << QStringList{};
        QByteArray unterminated = BuildSelfDoc(1, {Var(1, "a"), Var(2, "name")});
        unterminated.chop(1);
        QTest::newRow("name without terminator") << unterminated << QStringList{L(0, 1, "a")};
        QByteArray arrayCut = BuildSelfDoc(1, {Var(1, "a", 300)});
        arrayCut.chop(1);
        QTest::newRow("array count cut in half") << arrayCut << QStringList{};
        QTest::newRow("header only") << good.left(4) << QStringList{};
        QTest::newRow("nothing") << QByteArray() << QStringList{};
    }
    void selfDocumentation()
    {
        QFETCH(QByteArray, doc);
        QFETCH(QStringList, expected);
        QCOMPARE(Parse(doc), expected);
    }

    void hugeArrayStopsAtTheLastIndex()
    {
        const QStringList lines = Parse(BuildSelfDoc(1, {Var(1, "a"), Var(2, "big", 0xFFFF), Var(3, "after")}));
        QCOMPARE(lines.size(), LonLib::MaxVariableIndex + 1);
        QCOMPARE(lines.last(), L(LonLib::MaxVariableIndex, 2, QStringLiteral("big[%1]").arg(LonLib::MaxVariableIndex - 1)));
    }

    void lineBudgetStopsTheParse()
    {
        const QByteArray doc = BuildSelfDoc(1, {Var(1, "a"), Var(2, "big", 300), Var(3, "after")});
        const QStringList all = Parse(doc);
        const std::vector<quint8> bytes(doc.begin(), doc.end());
        for (const int budget : {0, 1, 2, 301, 302, 303}) {
            QStringList lines{QStringLiteral("kept")};
            ParseSelfDocumentation(bytes, 0, 1, 2, lines, budget);
            QCOMPARE(lines.size(), 1 + qMin(budget, int(all.size())));
            QCOMPARE(lines.mid(1), all.first(qMin(budget, int(all.size()))));
        }
    }

    void windows1252Names()
    {
        const QStringList lines = Parse(BuildSelfDoc(1, {Var(1, "caf\xe9\x80")}));
        QCOMPARE(lines, QStringList{L(0, 1, QStringLiteral("caf\u00e9\u20ac"))});
    }

    void parseDomainId_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<int>("length");
        QTest::newRow("three bytes, mixed case") << "1A:2b:3C" << true << QByteArray("1a2b3c000000") << 3;
        QTest::newRow("one byte") << "7f" << true << QByteArray("7f0000000000") << 1;
        QTest::newRow("six bytes") << "01:02:03:04:05:06" << true << QByteArray("010203040506") << 6;
        QTest::newRow("two bytes refused") << "1A:2B" << false << QByteArray("aaaaaaaaaaaa") << 9;
        QTest::newRow("four bytes refused") << "1A:2B:3C:4D" << false << QByteArray("aaaaaaaaaaaa") << 9;
        QTest::newRow("empty") << "" << false << QByteArray("aaaaaaaaaaaa") << 9;
        QTest::newRow("empty pieces are dropped") << "1A::2B::3C" << true << QByteArray("1a2b3c000000") << 3;
        QTest::newRow("text past six pieces is ignored") << "01:02:03:04:05:06:07" << true
                                                           << QByteArray("010203040506") << 6;
        QTest::newRow("pieces of one character give 0") << "1:2:3" << true << QByteArray("000000000000") << 3;
        QTest::newRow("not a hex digit counts as position 0") << "G1" << true << QByteArray("f10000000000") << 1;
        QTest::newRow("neither digit") << "ZZ" << true << QByteArray("ef0000000000") << 1;
    }
    void parseDomainId()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QByteArray, id);
        QFETCH(int, length);
        TniDomainTableEntry entry;
        entry.Id.fill(0xAA);
        entry.IdLength = 9;
        QCOMPARE(ParseDomainId(text, entry), valid);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(entry.Id.data()), 6).toHex(), id);
        QCOMPARE(int(entry.IdLength), length);
    }
};

QTEST_GUILESS_MAIN(TestLonParse)
#include "tst_lonparse.moc"
