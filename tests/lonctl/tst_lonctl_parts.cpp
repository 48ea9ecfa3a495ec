// The pieces of lonctl that need no process: hex bytes, answers of the driver, tables,
// entry lines, the command line of a command, site options and the checks of addresses
// and values made before the driver is contacted.
#include "tools/CommandContext.h"
#include "client/DriverAnswer.h"
#include "tools/ExitCodes.h"
#include "tools/HexText.h"
#include "tools/Output.h"
#include "tools/PointArguments.h"

#include <QLocale>
#include <QTest>

class TestLonctlParts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void hexBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("bytes");   // formatted, or the bad piece
        QTest::newRow("blanks") << "41 ac 00 00" << true << "41 AC 00 00";
        QTest::newRow("run") << "41AC0000" << true << "41 AC 00 00";
        QTest::newRow("0x and commas") << "0x41,0xAC" << true << "41 AC";
        QTest::newRow("colons and dashes") << "08:66-01" << true << "08 66 01";
        QTest::newRow("empty") << "" << true << "";
        QTest::newRow("odd digits") << "41 A" << false << "A";
        QTest::newRow("not hex") << "4G" << false << "4G";
        QTest::newRow("sign inside") << "+1" << false << "+1";
        QTest::newRow("bare 0x") << "0x" << false << "0x";
    }
    void hexBytes()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, bytes);
        QByteArray parsed;
        QString bad;
        QCOMPARE(ParseHexBytes(text, parsed, bad), ok);
        QCOMPARE(ok ? FormatHexBytes(parsed) : bad, bytes);
    }

    void hexDump()
    {
        const QStringList lines = HexDump(QByteArray("Scene 1\n", 8) + QByteArray(10, '\x7f'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0), QStringLiteral("00000000  53 63 65 6E 65 20 31 0A 7F 7F 7F 7F 7F 7F 7F 7F  Scene 1........."));
        QCOMPARE(lines.at(1), QStringLiteral("00000010  7F 7F                                            .."));
    }

    void answers_data()
    {
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("done av") << QVariant(QVariantList{QStringLiteral("COMMANDSTATUS=TRUE"),
                                                          QStringLiteral("COMMAND=COMMANDSTATUS"),
                                                          QStringLiteral("COMMANDERROR="),
                                                          QStringLiteral("SITETIME=x"), QString()})
                                 << int(TDriverAnswer::Done) << "" << QStringList{"SITETIME=x", ""};
        QTest::newRow("failed with error") << QVariant(QStringList{"COMMANDSTATUS=FALSE", "COMMANDERROR=Could not modify point."})
                                           << int(TDriverAnswer::Failed) << "Could not modify point." << QStringList();
        QTest::newRow("failed bare") << QVariant(QStringList{"COMMANDSTATUS=FALSE", "", ""})
                                     << int(TDriverAnswer::Failed) << "" << QStringList();
        QTest::newRow("locked comment") << QVariant(QStringList{"COMMANDSTATUS=LOCKED", "COMMANDERROR=backup"})
                                        << int(TDriverAnswer::Locked) << "backup" << QStringList();
        QTest::newRow("locked bare") << QVariant(QStringList{"COMMANDSTATUS=LOCKED", "locked to one computer"})
                                     << int(TDriverAnswer::Locked) << "locked to one computer" << QStringList();
        QTest::newRow("waiting") << QVariant(QStringList{"COMMANDSTATUS=Waiting for driver...", ""})
                                 << int(TDriverAnswer::Waiting) << "" << QStringList();
        QTest::newRow("running") << QVariant(QStringList{"COMMANDSTATUS=Reading Data...", ""})
                                 << int(TDriverAnswer::Running) << "" << QStringList();
        QTest::newRow("no status") << QVariant(QStringList{"VALUE=1"}) << int(TDriverAnswer::Invalid)
                                   << "" << QStringList();
        QTest::newRow("nothing") << QVariant() << int(TDriverAnswer::Invalid) << "" << QStringList();
    }
    void answers()
    {
        QFETCH(QVariant, answer);
        QFETCH(int, kind);
        QFETCH(QString, error);
        QFETCH(QStringList, items);
        const TDriverAnswer read = ReadDriverAnswer(answer);
        QCOMPARE(int(read.Type), kind);
        QCOMPARE(read.Error, error);
        QCOMPARE(read.Items, items);
    }

    void byteAnswerIsAFile()
    {
        const TDriverAnswer read = ReadDriverAnswer(QByteArray("\x00\x01", 2));
        QCOMPARE(int(read.Type), int(TDriverAnswer::Done));
        QVERIFY(read.IsBytes);
        QCOMPARE(read.Bytes, QByteArray("\x00\x01", 2));
    }

    void tableAlignsColumns()
    {
        TTable table({QStringLiteral("A"), QStringLiteral("NAME"), QStringLiteral("UNITS")});
        table.AddRow({QStringLiteral("0:1:1:0"), QStringLiteral("x"), QString()});
        table.AddRow({QStringLiteral("1"), QStringLiteral("longer"), QStringLiteral("°C")});
        QCOMPARE(table.Lines(), (QStringList{"A        NAME    UNITS", "0:1:1:0  x", "1        longer  °C"}));
    }

    void entryLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("units");
        QTest::addColumn<bool>("writable");
        QTest::newRow("input") << "{0:1:5:12:105:0:3:105}{nviSetpoint}{°C}{TRUE}{Analog}{Variable}"
                               << true << "nviSetpoint" << "°C" << true;
        QTest::newRow("no units") << "{0:1:5:1:8:0:2:8}{nvoCount}{}{FALSE}{Analog}{Variable}"
                                  << true << "nvoCount" << "" << false;
        QTest::newRow("five groups") << "{a}{b}{c}{d}{e}" << false << "" << "" << false;
    }
    void entryLines()
    {
        QFETCH(QString, line);
        QFETCH(bool, ok);
        TPointEntry entry;
        QCOMPARE(ParsePointEntry(line, entry), ok);
        if (!ok)
            return;
        QTEST(entry.Name, "name");
        QTEST(entry.Units, "units");
        QTEST(entry.Writable, "writable");
    }

    void requestEntry()
    {
        QCOMPARE(RequestEntry("lonctl", "0:1:1:0:0:0:0:0", {"VALUE=5", "", "OBJECTVALUE="}),
                 QStringLiteral("{lonctl}{0:1:1:0:0:0:0:0}{VALUE=5}{}{OBJECTVALUE=}"));
    }

    void addressChecks_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("bounds");
        QTest::addColumn<QString>("message");   // empty: accepted
        QTest::newRow("valid") << "0:1:10:1:105:0:3:105" << true << "";
        QTest::newRow("seven fields") << "0:1:1:0:0:0:0" << false << "malformed point address";
        QTest::newRow("braces") << "0:1:1:0:0:0:0:0,0,D-{V1}" << false << "must not contain braces";
        QTest::newRow("subnet bound") << "0:0:1:0:0:0:0:0" << true << "field 2";
        QTest::newRow("type code offline") << "0:1:1:0:0:0:14:0" << false << "between 0 and 13";
        QTest::newRow("placeholder offline") << "0:0:0:0:0:0:3:0" << false << "";
    }
    void addressChecks()
    {
        QFETCH(QString, address);
        QFETCH(bool, bounds);
        QFETCH(QString, message);
        try {
            RequireAddress(address, bounds);
            QVERIFY2(message.isEmpty(), "accepted an address that must be refused");
        } catch (const TLonctlError &error) {
            QCOMPARE(int(error.Code()), int(ExitUsage));
            QVERIFY2(!message.isEmpty() && error.Message().contains(message), qPrintable(error.Message()));
        }
    }

    void objects_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("letters");
        QTest::addColumn<bool>("ok");
        QTest::newRow("V1") << "1:3:5:22:0:0:0:0,0,D-V1" << "VIOP" << true;
        QTest::newRow("p10 lower case") << "1:3:5:22:0:0:0:0,0,d-p10" << "VIOP" << true;
        QTest::newRow("P11") << "1:3:5:22:0:0:0:0,0,D-P11" << "VIOP" << false;
        QTest::newRow("C1 not readable") << "1:3:5:22:0:0:0:0,0,D-C1" << "VIOP" << false;
        QTest::newRow("C50 writable") << "1:3:5:23:0:0:0:0,0,D-C50" << "VCIOP" << true;
        QTest::newRow("V51") << "1:3:5:23:0:0:0:0,0,D-V51" << "VCIOP" << false;
        QTest::newRow("no object") << "1:3:5:22:0:0:0:0" << "VIOP" << false;
        QTest::newRow("X1 status point") << "1:3:5:22:0:0:0:0,0,D-X1" << "VIOP" << false;
    }
    void objects()
    {
        QFETCH(QString, address);
        QFETCH(QString, letters);
        QFETCH(bool, ok);
        PointAddress parsed;
        QVERIFY(ParsePointAddress(address, parsed));
        bool accepted = true;
        try {
            RequireObject(address, parsed, letters);
        } catch (const TLonctlError &) {
            accepted = false;
        }
        QCOMPARE(accepted, ok);
    }

    void numericValues_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("ok");
        QTest::newRow("number") << "0:1:1:0:0:0:3:0" << "21.5" << true;
        QTest::newRow("negative") << "0:1:1:0:0:0:3:0" << "-3" << true;
        QTest::newRow("fraction") << "0:1:1:0:0:0:3:0" << ".5" << true;
        QTest::newRow("with units") << "0:1:1:0:0:0:3:0" << "12 degF" << true;
        QTest::newRow("keyword") << "0:1:1:0:0:0:0:0" << "off" << true;
        QTest::newRow("word") << "0:1:1:0:0:0:3:0" << "abc" << false;
        QTest::newRow("bit field word") << "0:1:1:0:0:0:7:8" << "x1" << false;
        QTest::newRow("text point") << "0:1:1:0:36:0:5:31" << "abc" << true;
        QTest::newRow("date point") << "0:1:1:0:0:0:9:0" << "3/15/24" << true;
    }
    void numericValues()
    {
        QFETCH(QString, address);
        QFETCH(QString, value);
        QFETCH(bool, ok);
        PointAddress parsed;
        QVERIFY(ParsePointAddress(address, parsed));
        bool accepted = true;
        try {
            RequireWritableNumber(parsed, value);
        } catch (const TLonctlError &) {
            accepted = false;
        }
        QCOMPARE(accepted, ok);
    }

    void negativeValuesAreArguments()
    {
        TCommandContext context(*FindCommand(QStringLiteral("encode")));
        QVERIFY(context.Parse({"0:1:1:0:0:0:3:0", "-3", "00", "00", "--json"}));
        QCOMPARE(context.Arguments, (QStringList{"0:1:1:0:0:0:3:0", "-3", "00", "00"}));
        QVERIFY(context.Json);
        TCommandContext write(*FindCommand(QStringLiteral("write")));
        QVERIFY(write.Parse({"--site", "S", "1:3:5:23:0:0:0:0,0,D-V1", "--object-value", "-ON"}));
        QCOMPARE(write.Option(QStringLiteral("object-value")), QStringLiteral("-ON"));
    }

    void siteOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("request");   // empty: a usage error
        QTest::newRow("defaults") << QStringList{"--site", "Plant"}
                                  << QStringList{"DESCRIPTION=Plant", "SP1=LON1"};
        QTest::newRow("everything")
            << QStringList{"--site", "P", "--interface", "LON2", "--offline", "--fahrenheit",
                           "--domain0-id", "4C", "--domain0-subnet", "3", "--domain0-node", "9",
                           "--domain1-id", "12:34:56"}
            << QStringList{"DESCRIPTION=P", "SP1=LON2", "OFFLINE=TRUE", "BP1=TRUE", "SP2=4C",
                           "FP1=3", "IP1=9", "SP3=12:34:56"};
        QTest::newRow("no site") << QStringList{"--interface", "LON1"} << QStringList();
        QTest::newRow("blank site") << QStringList{"--site", " "} << QStringList();
        QTest::newRow("two-byte id") << QStringList{"--site", "P", "--domain0-id", "12:34"} << QStringList();
        QTest::newRow("id not hex") << QStringList{"--site", "P", "--domain1-id", "ZZ"} << QStringList();
        QTest::newRow("node 128") << QStringList{"--site", "P", "--domain0-subnet", "1", "--domain0-node", "128"} << QStringList();
        QTest::newRow("subnet alone") << QStringList{"--site", "P", "--domain0-subnet", "1"} << QStringList();
        QTest::newRow("bad timeout") << QStringList{"--site", "P", "--timeout", "0"} << QStringList();
    }
    void siteOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, request);
        TCommandContext context(*FindCommand(QStringLiteral("status")));
        try {
            QVERIFY(context.Parse(arguments));
            QVERIFY2(!request.isEmpty(), "accepted options that must be refused");
            QCOMPARE(context.Site.ConnectRequest(), request);
        } catch (const TLonctlError &error) {
            QCOMPARE(int(error.Code()), int(ExitUsage));
            QVERIFY2(request.isEmpty(), qPrintable(error.Message()));
        }
    }

    void argumentCounts()
    {
        TCommandContext context(*FindCommand(QStringLiteral("verify")));
        QVERIFY_THROWS_EXCEPTION(TLonctlError, context.Parse({"--site", "S"}));
        TCommandContext again(*FindCommand(QStringLiteral("verify")));
        QVERIFY_THROWS_EXCEPTION(TLonctlError, again.Parse({"--site", "S", "a", "b"}));
        TCommandContext help(*FindCommand(QStringLiteral("verify")));
        QVERIFY(!help.Parse({"--help"}));
        QVERIFY(help.HelpText().startsWith(QStringLiteral("Usage: lonctl verify [options] ADDRESS\n")));
    }
};

QTEST_GUILESS_MAIN(TestLonctlParts)
#include "tst_lonctl_parts.moc"
