// The LON device interface kind without a device: the frames on lonN parsed by their
// length byte (extended frames, the serial module's extra byte), the adapter stand-in's
// answers as each kernel module lets them through, and the interface's open sequence,
// adapter resets, silent and missing adapters and a device plugged out and in again,
// against the stand-in in process.
#include "AdapterLink.h"

#include "ldv/ldv32.h"
#include "ldv/lonnet/LonDeviceInterface.h"
#include "lonsim/NetworkRegistry.h"
#include "lontalk/LinkFrames.h"

#include <QTest>

using namespace ldv::lonnet;
using namespace lontalk::link;
using Module = lonsim::usb::UsbAdapter::Module;

Q_DECLARE_METATYPE(Module)

namespace {

QByteArray Hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

lonsim::Network &Lon1()
{
    QString error;
    lonsim::Network *network = lonsim::NetworkRegistry::instance().obtain(
        QStringLiteral("LON1"),
        [] { return lonsim::loadDescription(lonsim::builtinNetwork(QStringLiteral("LON1")), QStringLiteral("LON1.json")); },
        error);
    Q_ASSERT(network);
    return *network;
}

constexpr LinkTiming Quick{100, 3, 20};

// The next frame the interface hands the host within ms; empty when none came.
QByteArray ReadFrame(ldv::OpenInterface &iface, int ms = 2000)
{
    QElapsedTimer timer;
    timer.start();
    uint8_t buffer[1024];
    do {
        if (iface.read(buffer, int(sizeof buffer)) == LDV_OK)
            return QByteArray(reinterpret_cast<const char *>(buffer), 2 + buffer[1]);
        QThread::msleep(1);
    } while (timer.elapsed() < ms);
    return {};
}

short Write(ldv::OpenInterface &iface, const QByteArray &frame)
{
    return iface.write(reinterpret_cast<const uint8_t *>(frame.constData()), int(frame.size()));
}

// The local Neuron ID read answered through the interface: the six ID bytes, or empty.
QByteArray NeuronIdThrough(ldv::OpenInterface &iface, uint8_t tag)
{
    if (Write(iface, neuronIdRequest(tag)) != LDV_OK)
        return {};
    const QByteArray answer = ReadFrame(iface);
    return isNeuronIdAnswer(answer, tag) && answer.size() == 23 ? answer.mid(17) : QByteArray();
}

const QByteArray Lon1NeuronId = QByteArray::fromHex("0500004C1001");

// The interface with the adapter stand-in of LON1 behind it, not yet opened.
struct TInterfaceOnAdapter
{
    explicit TInterfaceOnAdapter(Module module)
        : Link(*new TAdapterLink(Lon1(), module)),
          Iface(QStringLiteral("FT10"), QStringLiteral("lon0"), std::unique_ptr<TAdapterLink>(&Link), Quick)
    {
    }
    TAdapterLink &Link;             // owned by Iface
    LonDeviceInterface Iface;
};

} // namespace

class TestLonnetLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsedByTheLengthByte_data()
    {
        QTest::addColumn<QByteArray>("delivered");
        QTest::addColumn<QByteArray>("frame");     // classic form; "short" = refused, "long" = too long
        QTest::newRow("exact") << Hex("50 00") << Hex("50 00");
        QTest::newRow("serial module's extra byte") << Hex("16 02 70 01 A7") << Hex("16 02 70 01");
        QTest::newRow("claims more than came") << Hex("16 05 70 01 00") << QByteArray("short");
        QTest::newRow("one byte") << Hex("50") << QByteArray("short");
        QTest::newRow("extended, short enough for the host")
            << Hex("18 FF 03 00 AA BB CC") << Hex("18 03 AA BB CC");
        QTest::newRow("extended header cut") << Hex("18 FF 03") << QByteArray("short");
        QTest::newRow("extended, count past the data") << Hex("18 FF 05 00 AA") << QByteArray("short");
        QTest::newRow("extended over the device's limit") << Hex("18 FF 01 06") + QByteArray(1281, 'x') << QByteArray("short");
        QTest::newRow("extended over 255 bytes") << Hex("18 FF 00 01") + QByteArray(256, 'x') << QByteArray("long");
    }
    void parsedByTheLengthByte()
    {
        QFETCH(QByteArray, delivered);
        QFETCH(QByteArray, frame);
        const auto parsed = parseLinkFrame(reinterpret_cast<const uint8_t *>(delivered.constData()), int(delivered.size()));
        if (frame == "short")
            QVERIFY(!parsed);
        else if (frame == "long")
            QVERIFY(parsed && parsed->tooLong);
        else
            QCOMPARE(parsed ? parsed->frame.toHex(' ') : QByteArray("refused"), frame.toHex(' '));
    }

    void framesGoDownInTheDevicesForm_data()
    {
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<QByteArray>("device");    // empty: refused
        QTest::newRow("classic") << Hex("60 00") << Hex("60 00");
        QTest::newRow("length byte disagrees") << Hex("60 01") << QByteArray();
        const QByteArray body(255, 'y');
        QTest::newRow("255 bytes after the length: extended") << Hex("18 FF") + body << Hex("18 FF FF 00") + body;
        // The read of the adapter's Neuron ID as the Linux LON daemon sends it, byte for byte.
        QTest::newRow("Neuron ID read") << neuronIdRequest(0)
                                        << Hex("22 13 70 00 05 00 00 00 00 00 00 00 00 00 00 00 6D 01 00 00 06");
    }
    void framesGoDownInTheDevicesForm()
    {
        QFETCH(QByteArray, host);
        QFETCH(QByteArray, device);
        const auto down = toDevice(reinterpret_cast<const uint8_t *>(host.constData()), int(host.size()));
        QCOMPARE(down.value_or(QByteArray()).toHex(' '), device.toHex(' '));
    }

    void adapterAnswersAsItsModuleLetsThrough_data()
    {
        QTest::addColumn<Module>("module");
        QTest::addColumn<QByteArray>("down");
        QTest::addColumn<QByteArray>("up");        // frames joined by '|', the u50 byte as "xx"
        QTest::newRow("u61 layer 5") << Module::U61 << Hex("E5 01 00") << QByteArray();
        QTest::newRow("u50 layer 5 echoed") << Module::U50 << Hex("E5 01 00") << QByteArray("d000xx");
        QTest::newRow("u50 layer 2 echoed") << Module::U50 << Hex("E5 01 01") << QByteArray("d100xx");
        QTest::newRow("u61 status") << Module::U61 << Hex("E0 00") << QByteArray("e0020191");
        QTest::newRow("u50 keeps status") << Module::U50 << Hex("E0 00") << QByteArray();
        QTest::newRow("u61 flush") << Module::U61 << Hex("90 00") << QByteArray("6000");
        QTest::newRow("u61 reset") << Module::U61 << Hex("50 00") << QByteArray("5000");
        QTest::newRow("u50 reset") << Module::U50 << Hex("50 00") << QByteArray("5000xx");
        QTest::newRow("u61 flush-cancel") << Module::U61 << Hex("60 00") << QByteArray();
        QTest::newRow("u61 message in layer 2 not taken") << Module::U61 << neuronIdRequest(1) << QByteArray();
        QTest::newRow("u61 malformed") << Module::U61 << Hex("22 13 70") << QByteArray();
    }
    void adapterAnswersAsItsModuleLetsThrough()
    {
        QFETCH(Module, module);
        QFETCH(QByteArray, down);
        QFETCH(QByteArray, up);
        lonsim::usb::UsbAdapter adapter(Lon1(), QStringLiteral("lon0"), module);
        QVERIFY(!adapter.layer5());
        QList<QByteArray> frames = adapter.fromHost(down);
        frames += adapter.toHost();
        QByteArrayList shown;
        for (QByteArray f : frames) {
            QByteArray hex = f.toHex();
            if (module == Module::U50) {
                QCOMPARE(f.size(), 3 + uint8_t(f[1]));     // one byte after the frame
                hex = hex.left(hex.size() - 2) + "xx";
            }
            shown.append(hex);
        }
        QCOMPARE(shown.join('|'), up);
        QCOMPARE(adapter.ignored(), down.startsWith(char(0x22)) ? 1 : 0);
    }

    void openSetsLayer5AndPassesFrames_data()
    {
        QTest::addColumn<Module>("module");
        QTest::newRow("u61") << Module::U61;
        QTest::newRow("u50") << Module::U50;
    }
    void openSetsLayer5AndPassesFrames()
    {
        QFETCH(Module, module);
        TInterfaceOnAdapter rig(module);
        TAdapterLink &link = rig.Link;
        LonDeviceInterface &iface = rig.Iface;
        QString why;
        QCOMPARE(iface.open(why), short(LDV_OK));
        QVERIFY(link.Adapter()->layer5());
        QCOMPARE(link.Down.mid(0, 3), (QList<QByteArray>{Hex("E5 01 00"), Hex("60 00"), neuronIdRequest(0)}));
        // The open sequence's own answers stay inside: the host's first read finds nothing.
        uint8_t buffer[1024];
        QCOMPARE(iface.read(buffer, int(sizeof buffer)), short(LDV_NO_MSG_AVAIL));
        QCOMPARE(NeuronIdThrough(iface, 3).toHex(), Lon1NeuronId.toHex());
        // A network transaction: fetch of nviSetpoint (index 1) at subnet 1 node 10.
        QVERIFY(Write(iface, Hex("12 10 64 08 02 01 0A 03 05 01 00 00 00 00 00 00 73 01")) == LDV_OK);
        const QByteArray response = ReadFrame(iface);
        QCOMPARE(response.toHex(' '), Hex("16 12 64 01 04 00 01 8A 01 FE 00 00 00 00 00 00 33 01 08 66").toHex(' '));
    }

    void adapterResetBringsLayer5Back_data()
    {
        openSetsLayer5AndPassesFrames_data();
    }
    void adapterResetBringsLayer5Back()
    {
        QFETCH(Module, module);
        TInterfaceOnAdapter rig(module);
        TAdapterLink &link = rig.Link;
        LonDeviceInterface &iface = rig.Iface;
        QString why;
        QCOMPARE(iface.open(why), short(LDV_OK));
        link.Reset();
        QVERIFY(!link.Adapter()->layer5());
        // The host learns of the reset; the interface sets layer 5 again.
        QCOMPARE(ReadFrame(iface).toHex(' '), Hex("50 00").toHex(' '));
        QTRY_VERIFY_WITH_TIMEOUT(ReadFrame(iface, 10).isEmpty() && link.Adapter()->layer5(), 2000);
        QTRY_COMPARE_WITH_TIMEOUT(NeuronIdThrough(iface, 4).toHex(), Lon1NeuronId.toHex(), 2000);
    }

    void openFailsWithAStatusOfItsOwn_data()
    {
        QTest::addColumn<int>("device");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("why");
        QTest::newRow("no device") << int(TAdapterLink::TDevice::Missing) << int(LDV_NOT_FOUND)
                                   << "there is no network device lon0";
        QTest::newRow("down") << int(TAdapterLink::TDevice::Down) << int(LDV_DEVICE_ERR) << "is down";
        QTest::newRow("no permission") << int(TAdapterLink::TDevice::Refused) << int(LDVX_ACCESS_DENIED) << "CAP_NET_RAW";
        QTest::newRow("adapter silent") << int(TAdapterLink::TDevice::Mute) << int(LDVX_OPEN_FAILED)
                                        << "does not answer in layer 5";
    }
    void openFailsWithAStatusOfItsOwn()
    {
        QFETCH(int, device);
        QFETCH(int, status);
        QFETCH(QString, why);
        TInterfaceOnAdapter rig(Module::U61);
        TAdapterLink &link = rig.Link;
        LonDeviceInterface &iface = rig.Iface;
        link.SetDevice(TAdapterLink::TDevice(device));
        QString error;
        QCOMPARE(int(iface.open(error)), status);
        QVERIFY2(error.contains(why), qPrintable(error));
        if (TAdapterLink::TDevice(device) == TAdapterLink::TDevice::Mute)
            QCOMPARE(link.Down.count(Hex("E5 01 00")), Quick.tries);
    }

    void deviceGoneFailsUntilItIsBack()
    {
        TInterfaceOnAdapter rig(Module::U50);
        TAdapterLink &link = rig.Link;
        LonDeviceInterface &iface = rig.Iface;
        QString why;
        QCOMPARE(iface.open(why), short(LDV_OK));
        link.PlugOut();
        uint8_t buffer[1024];
        QCOMPARE(iface.read(buffer, int(sizeof buffer)), short(LDV_DEVICE_ERR));
        QCOMPARE(Write(iface, neuronIdRequest(5)), short(LDV_DEVICE_ERR));
        QVERIFY2(iface.describe().contains(QLatin1String("lost")), qPrintable(iface.describe()));
        QThread::msleep(50);
        QCOMPARE(iface.read(buffer, int(sizeof buffer)), short(LDV_DEVICE_ERR));
        const int opensWhileGone = link.Opens;
        QVERIFY(opensWhileGone >= 2);       // tried again by name, not given up
        link.PlugIn();
        // Reopened by name and set to layer 5 again.
        QTRY_COMPARE_WITH_TIMEOUT(NeuronIdThrough(iface, 6).toHex(), Lon1NeuronId.toHex(), 3000);
        QVERIFY(link.Adapter()->layer5());
        QVERIFY2(iface.describe().contains(QLatin1String("reopened 1")), qPrintable(iface.describe()));
    }
};

QTEST_GUILESS_MAIN(TestLonnetLink)
#include "tst_lonnet_link.moc"
