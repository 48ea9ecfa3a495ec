// The simulator's description loader and device images, tested directly on the lonsim library.
#include "lonsim/DescriptionLoader.h"
#include "lonsim/DeviceImage.h"
#include "lonsim/ValueCodec.h"

#include <QTest>

using namespace lonsim;

namespace {
QByteArray network(const QByteArray &devices)
{
    return R"({"interface": {"neuronId": "05:00:00:00:00:01",
               "domains": [{"id": "4C", "subnet": 1, "node": 126}]}, "devices": [)" + devices + "]}";
}
QByteArray device(const QByteArray &variables, const QByteArray &extra = {})
{
    return R"({"name": "D", "neuronId": "05:00:00:00:00:02", "domains": [{"id": "4C", "subnet": 1, "node": 5}],
               "doc": "Dev", "variables": [)" + variables + "]" + extra + "}";
}
const QByteArray kFixtures = LW_FIXTURES "/xif";
const QByteArray kSensorXif = kFixtures + "/izot+smartserver-iot@0dc5d50__resources_lon_EVB_MultiSensor__6kEvbMultiSensor.XIF";
QByteArray xifDevice(const QByteArray &keys)
{
    return R"({"name": "X", "neuronId": "05:00:00:00:00:03", "domains": [{"id": "4C", "subnet": 1, "node": 6}], )"
           + keys + "}";
}
QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray out;
    for (int b : list)
        out.append(char(b));
    return out;
}
QByteArray cstr(const char *text)
{
    return QByteArray(text) + '\0';
}
} // namespace

class TestLonsimModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void refusesBadDescriptions_data();
    void refusesBadDescriptions();
    void typedValues();
    void selfDocumentationVersion1();
    void selfDocumentationVersion0();
    void readOnlyStructureLayout();
    void deviceFromInterfaceFile();
};

void TestLonsimModel::refusesBadDescriptions_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("reason");
    QTest::newRow("not json") << QByteArray("{") << "not valid JSON";
    QTest::newRow("no interface") << QByteArray("{}") << "interface is missing";
    QTest::newRow("unknown key") << network(device(R"({"name": "a", "size": 2, "sise": 3})")) << "unknown key sise";
    QTest::newRow("index out of order") << network(device(R"({"index": 1, "size": 2})")) << "index must be 0";
    QTest::newRow("array shifts index")
        << network(device(R"({"size": 2, "arrayCount": 3}, {"index": 1, "size": 2})")) << "index must be 3";
    QTest::newRow("no size") << network(device(R"({"name": "x"})")) << "size is missing";
    QTest::newRow("value too long") << network(device(R"({"size": 1, "value": "01 02"})")) << "longer than size";
    QTest::newRow("bad hex") << network(device(R"({"value": "0G"})")) << "not hex";
    QTest::newRow("domain id length") << network(device(R"({"size": 1})").replace(R"("id": "4C")", R"("id": "4C4C")"))
                                      << "0, 1, 3 or 6 bytes";
    QTest::newRow("node range") << network(device(R"({"size": 1})").replace(R"("node": 5)", R"("node": 128)"))
                                << "node must be between 0 and 127";
    QTest::newRow("file without request variable")
        << network(device(R"({"size": 12})", R"(, "files": [{"index": 0, "size": 10}])")) << "fileRequestNv";
    QTest::newRow("changing field outside")
        << network(device(R"({"size": 2, "change": {"kind": "ramp", "offset": 1, "format": "s16"}})"))
        << "does not fit";
    QTest::newRow("malformed kind")
        << network(device(R"({"size": 1})", R"(, "behaviour": {"malformed": {"kind": "odd"}})")) << "kind must be";
    QTest::newRow("self-doc in read-only area")
        << network(device(R"({"size": 1})", R"(, "selfDocAddress": "0xF000")")) << "selfDocAddress";
    QTest::newRow("duplicate device") << network(device(R"({"size": 1})") + "," + device(R"({"size": 1})"))
                                      << "two devices are named D";
    // Devices from device interface files.
    QTest::newRow("xif missing") << network(xifDevice(R"("xif": "missing.xif")")) << "xif: ";
    QTest::newRow("xif malformed") << network(xifDevice(R"("xif": ")" + kFixtures + R"(/expected.tsv")"))
                                   << "no program ID";
    QTest::newRow("xif and variables") << network(device(R"({"size": 1})", R"(, "xif": "x.xif")"))
                                       << "no variables or doc beside it";
    QTest::newRow("names without xif") << network(device(R"({"size": 1})", R"(, "selfDocNames": false)"))
                                       << "selfDocNames and initialValues go with xif";
    QTest::newRow("initial value of no variable")
        << network(xifDevice(R"("xif": ")" + kSensorXif + R"(", "initialValues": {"nvoNothing": "01"})"))
        << "initialValues: nvoNothing names no variable";
    QTest::newRow("initial value too long")
        << network(xifDevice(R"("xif": ")" + kSensorXif + R"(", "initialValues": {"19": "01 02 03"})"))
        << "initialValues.19: value is longer than the variable's 2 bytes";
}

void TestLonsimModel::refusesBadDescriptions()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, reason);
    const LoadResult r = loadDescription(json, QStringLiteral("test.json"));
    QVERIFY(!r.model);
    QVERIFY2(r.error.contains(reason), qPrintable(r.error));
    QVERIFY(r.error.startsWith(QLatin1String("test.json")));
}

void TestLonsimModel::typedValues()
{
    const LoadResult r = loadDescription(
        network(device(R"({"value": [{"u8": 1}, {"s8": -2}, {"s16": -1000}, {"u16": 65535}, {"s32": -2},
                                      {"f32": 21.5}, {"text": "Zä"}], "size": 20})")),
        QStringLiteral("t"));
    QVERIFY2(r.model, qPrintable(r.error));
    const QByteArray v = r.model->devices.at(0).variables.at(0).initial.at(0);
    QCOMPARE(v, bytes({0x01, 0xFE, 0xFC, 0x18, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x41, 0xAC, 0x00, 0x00,
                       'Z', 0xE4, 0x00, 0x00, 0x00, 0x00}));
}

// Version 1: one descriptor per array with the count in its extension record.
void TestLonsimModel::selfDocumentationVersion1()
{
    const LoadResult r = loadDescription(network(device(R"(
        {"name": "nvoA", "snvt": 105, "size": 2},
        {"name": "nvoArr", "snvt": 39, "size": 2, "arrayCount": 3, "doc": "three"},
        {"snvt": 8, "size": 2, "doc": "x;nvoB"},
        {"name": "nvoHidden", "snvt": 9, "size": 2, "extensionRecord": false},
        {"name": "nviR", "snvt": 81, "size": 2, "maxRateEstimate": 7, "rateEstimate": 3})")),
                                         QStringLiteral("t"));
    QVERIFY2(r.model, qPrintable(r.error));
    QByteArray expected = bytes({0, 0, 5, 1, 0, 0, 0x80, 105, 0x80, 39, 0x80, 8, 0x00, 9, 0x80, 81});
    expected += cstr("Dev");
    expected += char(0x20) + cstr("nvoA");
    expected += char(0x38) + cstr("nvoArr") + cstr("three") + bytes({0, 3});
    expected += char(0x10) + cstr("x;nvoB");
    expected += bytes({0xE0, 7, 3}) + cstr("nviR");
    expected[1] = char(expected.size());
    QCOMPARE(selfDocumentation(r.model->devices.at(0)).toHex(' '), expected.toHex(' '));
}

// Version 0: one descriptor per variable, an array's elements each with their own record.
void TestLonsimModel::selfDocumentationVersion0()
{
    const LoadResult r = loadDescription(
        network(device(R"({"name": "nvoA", "snvt": 105, "size": 2}, {"name": "nvoArr", "snvt": 39, "size": 2, "arrayCount": 2})",
                       R"(, "selfDocVersion": 0)")),
        QStringLiteral("t"));
    QVERIFY2(r.model, qPrintable(r.error));
    QByteArray expected = bytes({0, 0, 3, 0, 0, 0x80, 105, 0x80, 39, 0x80, 39});
    expected += cstr("Dev");
    expected += char(0x20) + cstr("nvoA");
    expected += char(0x20) + cstr("nvoArr[0]");
    expected += char(0x20) + cstr("nvoArr[1]");
    expected[1] = char(expected.size());
    QCOMPARE(selfDocumentation(r.model->devices.at(0)).toHex(' '), expected.toHex(' '));
}

void TestLonsimModel::readOnlyStructureLayout()
{
    const LoadResult r = loadDescription(
        network(device(R"({"size": 2, "arrayCount": 70})",
                       R"(, "programId": "01:02:03:04:05:06:07:08", "model": 9, "minorModel": 4, "selfDocAddress": "query")")),
        QStringLiteral("t"));
    QVERIFY2(r.model, qPrintable(r.error));
    const QByteArray b = readOnlyStructure(r.model->devices.at(0));
    QCOMPARE(b.size(), 35);
    QCOMPARE(b.left(6), bytes({5, 0, 0, 0, 0, 2}));
    QCOMPARE(uint8_t(b[6]), uint8_t(9));
    QCOMPARE(uint8_t(b[7]) & 0x0F, 4);
    QCOMPARE(uint8_t(b[10]) & 0x3F, 63);    // 70 variables do not fit the 6-bit count
    QCOMPARE(b.mid(11, 2), bytes({0xFF, 0xFF}));
    QCOMPARE(b.mid(13, 8), bytes({1, 2, 3, 4, 5, 6, 7, 8}));
}

QTEST_APPLESS_MAIN(TestLonsimModel)
#include "tst_lonsim_model.moc"

// A device "as described by" the MultiSensor's interface file: its program ID, types,
// directions and sizes, the configuration properties' NVVAL values and the description's
// own initial values; without self-documentation names when asked.
void TestLonsimModel::deviceFromInterfaceFile()
{
    for (const bool names : {true, false}) {
        const LoadResult r = loadDescription(
            network(xifDevice(R"("xif": ")" + kSensorXif + R"(", "selfDocNames": )" + (names ? "true" : "false")
                              + R"(, "initialValues": {"nvoTemperature": {"s16": 2150}, "21": "00 05"})")),
            QStringLiteral("t"));
        QVERIFY2(r.model, qPrintable(r.error));
        const Device &d = r.model->devices.at(0);
        QCOMPARE(d.programId, (ProgramId{0x9F, 0xFF, 0xFF, 0x05, 0x01, 0x84, 0x04, 0x60}));
        QCOMPARE(d.variables.size(), 22);
        QCOMPARE(d.nvIndexCount(), 22);
        QCOMPARE(d.variables.at(4).name, names ? QStringLiteral("nvoStatus") : QString());
        QCOMPARE(d.variables.at(4).doc, QStringLiteral("@0|2"));
        QCOMPARE(d.variables.at(4).output, true);
        QCOMPARE(d.variables.at(20).snvt, 166);
        QCOMPARE(d.variables.at(20).size, 19);
        QCOMPARE(d.variables.at(18).initial.at(0), bytes({0x0D, 0xAC}));
        QCOMPARE(d.variables.at(19).initial.at(0), bytes({0x08, 0x66}));
        QCOMPARE(d.variables.at(21).initial.at(0), bytes({0x00, 0x05}));
        QCOMPARE(d.variables.at(5).initial.at(0), QByteArray(31, '\0'));
        QCOMPARE(selfDocumentation(d).contains("nviLamp_1"), names);
        QVERIFY(selfDocumentation(d).contains("@1|1"));
    }
}
