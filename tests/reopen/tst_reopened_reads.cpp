// Two variables of one device read alternately, the interface opened anew before every
// read and closed after it, as a driver started for each command does. A device that
// detects duplicates answers a reused transaction ID with its stored answer: the value
// of the other variable. Every answer must be the device's own value of the variable
// asked for: none wrong, none empty, none lost.
#include "Ip852Channel.h"
#include "lonworks/LDV32.h"
#include "lonworks/LonLib.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int Rounds = 200;
constexpr quint8 Subnet = 1, Node = 10;     // the Thermostat of small.json

struct TVariable
{
    quint16 Index;
    QByteArray Value;       // what the device holds
};

// nviSetpoint (2 bytes) and nvoStatusText (31 bytes): different sizes and values.
const TVariable VariableA{3, QByteArray::fromHex("0866")};
const TVariable VariableB{4, QByteArray("ok").leftJustified(31, '\0')};

QString Fixture()
{
    return QStringLiteral(LW_FIXTURES "/small.json");
}

} // namespace

class TestReopenedReads : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(LDV32::Load(), qPrintable(LDV32::ErrorText())); }

    void alternateReads_data()
    {
        QTest::addColumn<bool>("overChannel");
        QTest::newRow("in-process simulator") << false;
        QTest::newRow("IP-852 channel (lonsim-channel)") << true;
    }
    void alternateReads()
    {
        QFETCH(bool, overChannel);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TIp852Channel channel;
        QByteArray name = QFile::encodeName(Fixture());
        if (overChannel) {
            QProcessEnvironment environment;
            QVERIFY2(channel.Start(dir.path(), Fixture(), Fixture(), QStringLiteral("REOPEN"), 1.0, environment),
                     qPrintable(channel.Error()));
            qputenv("LDV_INTERFACES", environment.value(QStringLiteral("LDV_INTERFACES")).toLocal8Bit());
            name = "REOPEN";
        }
        int right = 0, wrong = 0, empty = 0, failed = 0;
        QStringList firstFaults;
        for (int round = 0; round < Rounds; ++round) {
            const TVariable &variable = round % 2 ? VariableB : VariableA;
            TniNetworkInterface ni;
            QCOMPARE(ni.Open(name), qint16(0));
            std::array<quint8, 256> buffer{};
            quint8 length = 0;
            const qint16 status = FetchNetworkVariable(ni, 0, Subnet, Node, variable.Index, buffer, length);
            ni.Close();
            const QByteArray value(reinterpret_cast<const char *>(buffer.data()), length);
            QString fault;
            if (status != LonStatus::Ok) {
                ++failed;
                fault = QStringLiteral("failed with %1").arg(status);
            } else if (value.isEmpty()) {
                ++empty;
                fault = QStringLiteral("empty");
            } else if (value != variable.Value) {
                ++wrong;
                fault = QStringLiteral("wrong value ") + QString::fromLatin1(value.toHex());
            } else {
                ++right;
            }
            if (!fault.isEmpty() && firstFaults.size() < 5)
                firstFaults << QStringLiteral("round %1, index %2: %3").arg(round).arg(variable.Index).arg(fault);
        }
        qunsetenv("LDV_INTERFACES");
        QVERIFY2(right == Rounds, qPrintable(QStringLiteral("%1 right, %2 wrong, %3 empty, %4 failed; %5")
                                                  .arg(right).arg(wrong).arg(empty).arg(failed)
                                                  .arg(firstFaults.join(QStringLiteral("; ")))));
    }
};

QTEST_GUILESS_MAIN(TestReopenedReads)
#include "tst_reopened_reads.moc"
