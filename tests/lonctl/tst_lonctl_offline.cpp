// lonctl as a program without a driver: the offline commands' exact output, the help
// texts, and bad input of every kind, refused with a message and exit 64 (or 1 for a value
// the field cannot take) before any driver is contacted.
#include "LonctlRun.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>

class TestLonctlOffline : public QObject
{
    Q_OBJECT

private:
    // No bus at all: a command that tried to reach the driver would fail with exit 2.
    static QProcessEnvironment NoBus()
    {
        QProcessEnvironment environment = LonctlEnvironment();
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/lonctl-test"));
        return environment;
    }

private Q_SLOTS:
    void conversions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("out");
        QTest::newRow("decode temperature") << QStringList{"decode", "0:1:10:1:105:0:3:105", "08 66"} << "21.5000\n";
        QTest::newRow("decode in Fahrenheit") << QStringList{"decode", "0:1:10:1:105:0:3:105", "08", "66", "--fahrenheit"} << "70.7000\n";
        QTest::newRow("decode scaled") << QStringList{"decode", "0:1:1:0:0:0:2:0,10", "00D7"} << "21.5000\n";
        QTest::newRow("decode float") << QStringList{"decode", "0:1:1:0:0:0:4:0", "41 AC 00 00"} << "21.5000\n";
        QTest::newRow("decode field at offset") << QStringList{"decode", "0:1:1:0:0:2:2:0", "FF FF 01 00"} << "256.0000\n";
        QTest::newRow("decode text") << QStringList{"decode", "0:1:1:0:36:0:5:31", "41 42 00 43"} << "AB\n";
        QTest::newRow("decode bit field") << QStringList{"decode", "0:1:1:0:0:0:7:240", "95"} << "9\n";
        QTest::newRow("decode date") << QStringList{"decode", "0:1:1:0:0:0:9:0", "07 E8 03 0F"} << "45366.00000000\n";
        QTest::newRow("encode float") << QStringList{"encode", "0:1:1:0:0:0:4:0", "21.5", "00 00 00 00"} << "41 AC 00 00\n";
        QTest::newRow("encode highest of 16 bits") << QStringList{"encode", "0:1:1:0:0:0:2:0", "65535", "00 00"} << "FF FF\n";
        QTest::newRow("encode highest byte") << QStringList{"encode", "0:1:1:0:0:0:0:0", "255", "00"} << "FF\n";
        QTest::newRow("encode bit field") << QStringList{"encode", "0:1:1:0:0:0:7:240", "9", "05"} << "95\n";
        QTest::newRow("encode scaled") << QStringList{"encode", "0:1:1:0:0:0:2:0,10", "21.5", "00 00"} << "00 D7\n";
        QTest::newRow("encode keeps other bytes") << QStringList{"encode", "0:1:1:0:0:1:0:0", "on", "AA 00 BB"} << "AA 01 BB\n";
        QTest::newRow("encode temperature") << QStringList{"encode", "0:1:10:1:105:0:3:105", "22.5", "08 66"} << "08 CA\n";
        QTest::newRow("encode enumeration by name") << QStringList{"encode", "0:1:1:0:130:0:12:130", "ft_test", "00"} << "02\n";
        QTest::newRow("decode enumeration") << QStringList{"decode", "0:1:1:0:130:0:12:130", "FF"} << "FT_NUL\n";
        QTest::newRow("expand single")
            << QStringList{"expand", "105", "nviSetpoint"}
            << "ADDRESS              NAME         UNITS  WRITABLE  KIND\n"
               "0:1:1:0:105:0:3:105  nviSetpoint  °C     yes       Analog\n"
               "1 point\n";
        QTest::newRow("expand at a device in Fahrenheit")
            << QStringList{"expand", "105", "nvoTemp", "--at", "1:3:5:14", "--fahrenheit"}
            << "ADDRESS               NAME     UNITS  WRITABLE  KIND\n"
               "1:3:5:14:105:0:3:105  nvoTemp  °F     no        Analog\n"
               "1 point\n";
        QTest::newRow("expand without points") << QStringList{"expand", "0", "nvoRaw"}
                                               << "ADDRESS  NAME  UNITS  WRITABLE  KIND\n0 points\n";
        QTest::newRow("expand json")
            << QStringList{"expand", "105", "nviSetpoint", "--json"}
            << "[\n    {\n        \"address\": \"0:1:1:0:105:0:3:105\",\n        \"kind\": \"Analog\",\n"
               "        \"name\": \"nviSetpoint\",\n        \"units\": \"°C\",\n        \"writable\": true\n    }\n]\n";
        QTest::newRow("snvt one type")
            << QStringList{"snvt", "105"}
            << "SNVT 105\nUnits:      °C\nExpansion:  single\nPoints:     signed 16-bit\n"
               "Scaling:    hundredths of a degree\n";
    }
    void conversions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, out);
        const TLonctlResult result = RunLonctl(arguments, NoBus());
        QVERIFY(result.Finished);
        QCOMPARE(result.Err, QString());
        QCOMPARE(result.ExitCode, 0);
        QCOMPARE(result.Out, out);
    }

    void structuredTypeShowsItsFields()
    {
        const TLonctlResult result = RunLonctl({"snvt", "88"}, NoBus());
        QCOMPARE(result.ExitCode, 0);
        QVERIFY2(result.Out.contains(QStringLiteral(
                     "FIELD           OFFSET  TYPE               PARAMETER  KIND      UNITS\n"
                     ".Location       0       5 text             6          String\n")),
                 qPrintable(result.Out));
        QVERIFY(result.Out.contains(QStringLiteral("Points:     17 fields\n")));
    }

    void catalogueListsEveryType()
    {
        const TLonctlResult result = RunLonctl({"snvt"}, NoBus());
        QCOMPARE(result.ExitCode, 0);
        const QStringList lines = result.Out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + 123 + 99);   // 0..122 and the catalogue's 99 above
        QVERIFY(lines.at(0).startsWith(QStringLiteral("SNVT  UNITS")));
        QVERIFY(lines.at(1 + 105).startsWith(QStringLiteral("105   °C")));
        QVERIFY(lines.at(1 + 123).startsWith(QStringLiteral("123   min")));
    }

    // lonctl types: the catalogue with the ranges writes are held to, one type in detail.
    // Each pattern must match one whole line, columns separated by blanks.
    void types_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("every type") << QStringList{"types"} << QStringList{
            "NUMBER NAME KIND SIZE POINTS UNITS RANGE",
            "105 SNVT_temp_p scaled 2 1 °C -273.17 to 327.66",
            "130 SNVT_fire_test enumeration 1 1 - 5 names",
            "225 SNVT_\\w+ name only - 0 - -"};
        QTest::newRow("by name, Fahrenheit") << QStringList{"types", "temp_p", "--fahrenheit"}
                                             << QStringList{"SNVT_temp_p \\(105\\)", "Kind: scaled, 2 bytes",
                                                            "\\(name\\) 0 3 signed 16-bit 105 Analog °F -459.706 to 621.788"};
        QTest::newRow("enumeration") << QStringList{"types", "130"}
                                     << QStringList{"\\(name\\) 0 12 signed byte 130 String - 5 names",
                                                    "fire_test_t VALUE", "FT_NUL -1", "FT_NOTEST 3"};
        QTest::newRow("structure") << QStringList{"types", "SNVT_chlr_status"}
                                   << QStringList{".chlr_run_mode 0 12 signed byte 127 String - 6 names",
                                                  ".chlr_state.in_alarm 2 7 bit field 128 Digital - -",
                                                  "CHLR_RUN 2"};
        QTest::newRow("name only") << QStringList{"types", "220"}
                                   << QStringList{"SNVT_version \\(220\\)", "Kind: name only, 3 bytes",
                                                  "Points: none \\(the driver lists no points for it\\)"};
    }
    void types()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, lines);
        const TLonctlResult result = RunLonctl(arguments, NoBus());
        QCOMPARE(result.ExitCode, 0);
        const QStringList out = result.Out.split(u'\n');
        for (const QString &line : lines) {
            const QRegularExpression pattern(u'^' + QString(line).replace(u' ', QStringLiteral("\\s+")) + u'$');
            QVERIFY2(std::any_of(out.cbegin(), out.cend(),
                                 [&](const QString &text) { return pattern.match(text.trimmed()).hasMatch(); }),
                     qPrintable(line + u'\n' + result.Out));
        }
    }

    void help_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("start");
        QTest::newRow("general") << QStringList{"--help"} << "Usage: lonctl <command> [options] [arguments]\n";
        QTest::newRow("help word") << QStringList{"help"} << "Usage: lonctl <command>";
        QTest::newRow("help of a command") << QStringList{"help", "watch"} << "Usage: lonctl watch [options] ADDRESS...\n";
        QTest::newRow("decode") << QStringList{"decode", "--help"} << "Usage: lonctl decode [options] ADDRESS HEXBYTES\n";
        QTest::newRow("site command") << QStringList{"status", "-h"} << "Usage: lonctl status [options]\n";
        QTest::newRow("version") << QStringList{"--version"} << "lonctl 1.80\n";
    }
    void help()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, start);
        const TLonctlResult result = RunLonctl(arguments, NoBus());
        QCOMPARE(result.ExitCode, 0);
        QVERIFY2(result.Out.startsWith(start), qPrintable(result.Out));
    }

    void siteHelpNamesItsOptions()
    {
        const TLonctlResult result = RunLonctl({"file", "--help"}, NoBus());
        QCOMPARE(result.ExitCode, 0);
        for (const char *option : {"--site <DESCRIPTION>", "--interface <NAME>", "--domain1-node <N>",
                                   "--timeout <SECONDS>", "--file-index <F>", "-o, --output <FILE>", "--json"})
            QVERIFY2(result.Out.contains(QLatin1String(option)), option);
    }

    void badInput_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no command") << QStringList{} << 64 << "Usage: lonctl <command>";
        QTest::newRow("unknown command") << QStringList{"frob"} << 64 << "unknown command \"frob\"";
        QTest::newRow("option before the command") << QStringList{"--json", "status"} << 64 << "options come after the command";
        QTest::newRow("help of unknown command") << QStringList{"help", "frob"} << 64 << "unknown command \"frob\"";
        QTest::newRow("unknown option") << QStringList{"decode", "--bogus", "0:1:1:0:0:0:0:0", "00"} << 64 << "Unknown option 'bogus'";
        QTest::newRow("option without value") << QStringList{"status", "--site"} << 64 << "Missing value after '--site'";
        QTest::newRow("missing argument") << QStringList{"decode", "0:1:1:0:0:0:0:0"} << 64 << "missing argument: decode needs ADDRESS HEXBYTES";
        QTest::newRow("too many arguments") << QStringList{"snvt", "1", "2"} << 64 << "too many arguments";
        QTest::newRow("malformed address") << QStringList{"decode", "0:1:1:0:0:0:0", "00"} << 64 << "malformed point address \"0:1:1:0:0:0:0\"";
        QTest::newRow("ninth field") << QStringList{"decode", "0:1:1:0:0:0:0:0:9", "00"} << 64 << "malformed point address";
        QTest::newRow("type code") << QStringList{"decode", "0:1:1:0:0:0:14:0", "00"} << 64 << "Variable Type in field 7 must be between 0 and 13.";
        QTest::newRow("bad hex") << QStringList{"decode", "0:1:1:0:0:0:0:0", "4G"} << 64 << "\"4G\" is not";
        QTest::newRow("odd hex") << QStringList{"decode", "0:1:1:0:0:0:0:0", "123"} << 64 << "\"123\" is not";
        QTest::newRow("too many bytes") << QStringList{"decode", "0:1:1:0:0:0:0:0", QString(229 * 2, u'0')} << 64 << "at most 228";
        QTest::newRow("field outside the bytes") << QStringList{"decode", "0:1:1:0:0:1:3:0", "00 00"} << 1 << "outside the 2 bytes given";
        QTest::newRow("bit value too large") << QStringList{"encode", "0:1:1:0:0:0:7:240", "16", "05"} << 1 << "\"16\" cannot be written";
        // Refused, never wrapped or cut.
        QTest::newRow("beyond 16 bits") << QStringList{"encode", "0:1:1:0:0:0:2:0", "70000", "00 00"} << 1
                                        << "70000 does not fit this field: it holds 0 to 65535.";
        QTest::newRow("not a member") << QStringList{"encode", "0:1:1:0:130:0:12:130", "FT_SOMETIMES", "00"} << 1
                                      << "Value out of range for SNVT_fire_test: one of FT_NUL, FT_NORMAL, FT_RESET, FT_TEST, FT_NOTEST.";
        QTest::newRow("below its type") << QStringList{"encode", "0:1:10:1:105:0:3:105", "--", "-300", "08 66"} << 1
                                        << "Value out of range for SNVT_temp_p: -273.17 to 327.66 °C.";
        QTest::newRow("negative byte") << QStringList{"encode", "0:1:1:0:0:0:0:0", "-1", "00"} << 1
                                       << "-1 does not fit this field: it holds 0 to 255.";
        QTest::newRow("text too long") << QStringList{"encode", "0:1:1:0:36:0:5:6", "ABCDEFG", "00 00 00 00 00 00"} << 1
                                       << "The text has 7 characters; this field holds at most 5.";
        QTest::newRow("float out of range") << QStringList{"encode", "0:1:1:0:0:0:4:0", "1e40", "00 00 00 00"} << 1 << "cannot be written";
        QTest::newRow("not a date") << QStringList{"encode", "0:1:1:0:0:0:9:0", "soon", "00 00 00 00"} << 1 << "cannot be written";
        QTest::newRow("opaque field") << QStringList{"encode", "0:1:1:0:37:0:8:14", "1", "00"} << 1 << "never written";
        QTest::newRow("no number") << QStringList{"encode", "0:1:1:0:0:0:3:0", "abc", "00 00"} << 64 << "VALUE \"abc\" is no number";
        QTest::newRow("empty value") << QStringList{"encode", "0:1:1:0:0:0:3:0", "", "00 00"} << 64 << "VALUE is empty";
        QTest::newRow("object address") << QStringList{"encode", "0:1:1:0:0:0:0:0,0,D-V1", "1", "00"} << 64 << "names the device object V1";
        QTest::newRow("unknown SNVT") << QStringList{"snvt", "140"} << 64 << "unknown SNVT \"140\"";
        QTest::newRow("unknown type") << QStringList{"types", "SNVT_nothing"} << 64 << "unknown type \"SNVT_nothing\"";
        QTest::newRow("unassigned type") << QStringList{"types", "167"} << 64 << "unknown type \"167\"";
        QTest::newRow("SNVT not a number") << QStringList{"expand", "temp", "nvoTemp"} << 64 << "unknown SNVT \"temp\"";
        QTest::newRow("bad --at") << QStringList{"expand", "105", "nvoTemp", "--at", "0:1:1"} << 64 << "--at must be";
        QTest::newRow("name with braces") << QStringList{"expand", "105", "nvo{T}"} << 64 << "without braces";
        // Site commands: refused before any driver is contacted (there is no bus here).
        QTest::newRow("site missing") << QStringList{"status"} << 64 << "--site DESCRIPTION is required";
        QTest::newRow("site command, bad address") << QStringList{"read", "--site", "S", "0:1:1"} << 64 << "malformed point address";
        QTest::newRow("site command, field bound") << QStringList{"read", "--site", "S", "0:1:128:0:0:0:0:0"} << 64 << "field 3";
        QTest::newRow("bad domain id") << QStringList{"time", "--site", "S", "--domain0-id", "4C:1"} << 64 << "1, 3 or 6 hex bytes";
        QTest::newRow("bad timeout") << QStringList{"time", "--site", "S", "--timeout", "soon"} << 64 << "--timeout must be";
        // Values that look like numbers below zero are shown as typed, and a site name
        // that looks like an option is a forgotten name.
        QTest::newRow("negative timeout") << QStringList{"time", "--site", "S", "--timeout", "-2"} << 64 << "not \"-2\"";
        QTest::newRow("negative subnet") << QStringList{"time", "--site", "S", "--domain0-subnet", "-1", "--domain0-node", "3"} << 64 << "from 1 to 255, not \"-1\"";
        QTest::newRow("site like an option") << QStringList{"status", "--site", "-1"} << 64 << "--site needs a name, and \"-1\" looks like an option";
        QTest::newRow("both buses") << QStringList{"status", "--site", "S", "--system", "--session"} << 64 << "exclude each other";
        QTest::newRow("write without value") << QStringList{"write", "--site", "S", "0:1:10:1:105:0:3:105"} << 64 << "write needs ADDRESS VALUE";
        QTest::newRow("write word to a number") << QStringList{"write", "--site", "S", "0:1:10:1:105:0:3:105", "warm"} << 64 << "no number";
        QTest::newRow("write object without object value") << QStringList{"write", "--site", "S", "1:3:5:23:0:0:0:0,0,D-V1", "5"} << 64 << "--object-value";
        QTest::newRow("object value for a plain point") << QStringList{"write", "--site", "S", "0:1:10:1:105:0:3:105", "--object-value", "5"} << 64 << "for device objects";
        QTest::newRow("bad state") << QStringList{"write", "--site", "S", "1:3:5:23:0:0:0:0,0,D-V1", "--object-value", "5", "--state", "half"} << 64 << "--state must be on or off";
        QTest::newRow("object out of range") << QStringList{"write", "--site", "S", "1:3:5:23:0:0:0:0,0,D-P11", "--object-value", "5"} << 64 << "P 1-10";
        QTest::newRow("disabled without object") << QStringList{"disabled", "--site", "S", "1:3:5:22:0:0:0:0"} << 64 << "names no device object";
        QTest::newRow("disabled of a C object") << QStringList{"disabled", "--site", "S", "1:3:5:22:0:0:0:0,0,D-C1"} << 64 << "not a device object";
        QTest::newRow("file without node") << QStringList{"file", "--site", "S", "--domain", "0", "--subnet", "1", "--file-index", "0", "--request-var", "7"} << 64 << "--node is required";
        QTest::newRow("file domain 2") << QStringList{"file", "--site", "S", "--domain", "2", "--subnet", "1", "--node", "1", "--file-index", "0", "--request-var", "7"} << 64 << "--domain must be";
        QTest::newRow("file into a missing folder") << QStringList{"file", "--site", "S", "--domain", "0", "--subnet", "1", "--node", "1", "--file-index", "0", "--request-var", "7", "-o", "/nonexistent/dir/f"} << 64 << "existing folder";
        QTest::newRow("watch bad cycles") << QStringList{"watch", "--site", "S", "0:1:10:1:105:0:3:105", "--cycles", "1.5"} << 64 << "--cycles";
        QTest::newRow("lock bad seconds") << QStringList{"lock", "--site", "S", "--seconds", "-1"} << 64 << "--seconds";
    }
    void badInput()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const TLonctlResult result = RunLonctl(arguments, NoBus());
        QVERIFY2(result.Finished, "lonctl hung or crashed");
        QCOMPARE(result.ExitCode, exitCode);
        QVERIFY2(result.Err.contains(message), qPrintable(result.Err));
        QCOMPARE(result.Out, QString());
    }
};

QTEST_GUILESS_MAIN(TestLonctlOffline)
#include "tst_lonctl_offline.moc"
