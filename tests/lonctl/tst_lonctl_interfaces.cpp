// lonctl interfaces as a program: the table found through LDV_INTERFACES or
// $XDG_CONFIG_HOME, no file at all, the LONSIM_PATH names and those a table entry takes,
// refused files (exit 1 with the reason, nothing on stdout) and the JSON listing.
#include "LonctlRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Fixtures = QStringLiteral(LW_FIXTURES);

enum class TWhere { Nowhere, Variable, ConfigHome };

} // namespace

Q_DECLARE_METATYPE(TWhere)

class TestLonctlInterfaces : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FHome;

    // The file written where the row says, %FIX% and %TMP% put into the texts; no bus, so
    // that any attempt to reach the driver would show as exit 2.
    QProcessEnvironment Environment(TWhere where, const QByteArray &table, const QString &lonsimPath)
    {
        QProcessEnvironment environment = LonctlEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/lonctl-test"));
        environment.remove(QStringLiteral("LDV_INTERFACES"));
        environment.remove(QStringLiteral("LONSIM_PATH"));
        const QString config = FHome.filePath(QStringLiteral("config"));
        QDir(config).removeRecursively();
        QDir().mkpath(config + QStringLiteral("/lonworks"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        if (!lonsimPath.isEmpty())
            environment.insert(QStringLiteral("LONSIM_PATH"), Expanded(lonsimPath));
        QString file;
        if (where == TWhere::Variable)
            file = table == "fixture" ? Fixtures + QStringLiteral("/interfaces/interfaces.json")
                                      : FHome.filePath(QStringLiteral("table.json"));
        else if (where == TWhere::ConfigHome)
            file = config + QStringLiteral("/lonworks/interfaces.json");
        if (where == TWhere::Variable)
            environment.insert(QStringLiteral("LDV_INTERFACES"), file);
        if (!file.isEmpty() && table != "fixture" && table != "missing") {
            QFile out(file);
            if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
                out.write(table);
        }
        if (table == "missing")
            QFile::remove(file);
        return environment;
    }

    QString Expanded(QString text) const
    {
        return text.replace(QStringLiteral("%FIX%"), Fixtures).replace(QStringLiteral("%TMP%"), FHome.path());
    }

    static QString Folded(QString text)
    {
        static const QRegularExpression padding(QStringLiteral("  +"));
        return text.replace(padding, QStringLiteral("  "));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(FHome.isValid());
        if (QFileInfo::exists(QStringLiteral("/etc/lonworks/interfaces.json")))
            QSKIP("this machine has /etc/lonworks/interfaces.json, which every row would find");
        if (!QDir(QStringLiteral("/sys/class/net")).entryList({QStringLiteral("lon*")}, QDir::AllEntries | QDir::System).isEmpty())
            QSKIP("this machine has LON network devices, which every listing would show");
    }

    void listing_data()
    {
        QTest::addColumn<TWhere>("where");
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("lonsimPath");
        QTest::addColumn<QString>("out");

        QTest::newRow("no file")
            << TWhere::Nowhere << QByteArray() << QString()
            << "Interfaces file: none. Looked for, in order:\n"
               "  LDV_INTERFACES (not set)\n"
               "  %TMP%/config/lonworks/interfaces.json\n"
               "  /etc/lonworks/interfaces.json\n"
               "\n"
               "Names that work without an entry:\n"
               "NAME  NETWORK\n"
               "LON1  the built-in demonstration network\n"
               "No LON network devices (lon0, lon1, ...) on this machine.\n";
        QTest::newRow("fixture through LDV_INTERFACES")
            << TWhere::Variable << QByteArray("fixture") << QString()
            << "Interfaces file: %FIX%/interfaces/interfaces.json\n"
               "\n"
               "NAME     KIND       SUMMARY                                                                       COMMENT\n"
               "PLANT    simulated  simulated network %FIX%/networks/small.json  a network description, relative to this file\n"
               "DEMO     simulated  simulated network LON1\n"
               "LONIP    ip852      LonWorks/IP channel, multicast 239.192.84.76:1628\n"
               "LONIP-U  ip852      LonWorks/IP channel, unicast from 127.0.0.1:1629 to 2 member(s), MD5, "
               "LonTalk authentication in domain 1 (key C3\u2026)\n"
               "4 interfaces\n"
               "\n"
               "Names that work without an entry:\n"
               "NAME  NETWORK\n"
               "LON1  the built-in demonstration network\n"
               "No LON network devices (lon0, lon1, ...) on this machine.\n";
        QTest::newRow("found in XDG_CONFIG_HOME, LONSIM_PATH names, one taken by the table")
            << TWhere::ConfigHome
            << QByteArray(R"({"interfaces": [{"name": "Small", "type": "simulated", "network": "LON1"}]})")
            << QStringLiteral("/nonexistent::%FIX%/interfaces:%TMP%")
            << "Interfaces file: %TMP%/config/lonworks/interfaces.json\n"
               "\n"
               "NAME   KIND       SUMMARY                    COMMENT\n"
               "Small  simulated  simulated network LON1\n"
               "1 interface\n"
               "\n"
               "Names that work without an entry:\n"
               "NAME        NETWORK\n"
               "LON1        the built-in demonstration network\n"
               "interfaces  %FIX%/interfaces/interfaces.json (LONSIM_PATH)\n"
               "small       %TMP%/small.json (LONSIM_PATH), taken by the table's entry\n"
               "table       %TMP%/table.json (LONSIM_PATH)\n"
               "No LON network devices (lon0, lon1, ...) on this machine.\n";
        QTest::newRow("an empty table")
            << TWhere::Variable << QByteArray(R"({"interfaces": []})") << QString()
            << "Interfaces file: %TMP%/table.json\n"
               "\n"
               "NAME  KIND  SUMMARY  COMMENT\n"
               "0 interfaces\n"
               "\n"
               "Names that work without an entry:\n"
               "NAME  NETWORK\n"
               "LON1  the built-in demonstration network\n"
               "No LON network devices (lon0, lon1, ...) on this machine.\n";
    }
    void listing()
    {
        QFETCH(TWhere, where);
        QFETCH(QByteArray, table);
        QFETCH(QString, lonsimPath);
        QFETCH(QString, out);
        // Two network files for the LONSIM_PATH row, one of them named like the table's entry.
        QFile::copy(Fixtures + QStringLiteral("/networks/small.json"), FHome.filePath(QStringLiteral("small.json")));
        QFile(FHome.filePath(QStringLiteral("table.json"))).open(QIODevice::WriteOnly);
        const TLonctlResult result = RunLonctl({QStringLiteral("interfaces")}, Environment(where, table, lonsimPath));
        QVERIFY(result.Finished);
        QCOMPARE(result.Err, QString());
        QCOMPARE(result.ExitCode, 0);
        // Column widths follow the paths of this checkout: compare with the padding folded.
        QCOMPARE(Folded(result.Out), Folded(Expanded(out)));
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not JSON") << QByteArray("{\"interfaces\": [") << "%TMP%/table.json: not JSON";
        QTest::newRow("no list") << QByteArray("{\"interface\": []}") << "an object with a list \"interfaces\" expected";
        QTest::newRow("unknown key")
            << QByteArray(R"({"interfaces": [{"name": "A", "type": "simulated", "network": "LON1", "netwrok": "x"}]})")
            << "interface \"A\": unknown key \"netwrok\"";
        QTest::newRow("named twice")
            << QByteArray(R"({"interfaces": [{"name": "A", "type": "simulated", "network": "LON1"},
                                             {"name": "a", "type": "simulated", "network": "LON1"}]})")
            << "interface \"a\" is named twice";
        QTest::newRow("bad multicast group")
            << QByteArray(R"({"interfaces": [{"name": "IP", "type": "ip852", "group": "10.0.0.1", "neuronId": "020000001001"}]})")
            << "interface \"IP\".group: not a multicast address";
        QTest::newRow("LDV_INTERFACES names a missing file") << QByteArray("missing") << "%TMP%/table.json: cannot be read";
    }
    void refused()
    {
        QFETCH(QByteArray, table);
        QFETCH(QString, reason);
        for (const QStringList &arguments : {QStringList{QStringLiteral("interfaces")},
                                             QStringList{QStringLiteral("interfaces"), QStringLiteral("--json")}}) {
            const TLonctlResult result = RunLonctl(arguments, Environment(TWhere::Variable, table, QString()));
            QVERIFY(result.Finished);
            QCOMPARE(result.ExitCode, 1);
            QCOMPARE(result.Out, QString());
            QVERIFY2(result.Err.startsWith(QStringLiteral("lonctl interfaces: interfaces file refused: ")), qPrintable(result.Err));
            QVERIFY2(result.Err.contains(Expanded(reason)), qPrintable(result.Err));
        }
    }

    void json()
    {
        const TLonctlResult result = RunLonctl({QStringLiteral("interfaces"), QStringLiteral("--json")},
                                               Environment(TWhere::Variable, "fixture", QStringLiteral("%TMP%")));
        QCOMPARE(result.ExitCode, 0);
        QJsonParseError error;
        const QJsonObject root = QJsonDocument::fromJson(result.Out.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(root.value(QStringLiteral("file")).toString(), Fixtures + QStringLiteral("/interfaces/interfaces.json"));
        QCOMPARE(root.value(QStringLiteral("searched")).toArray().first().toString(),
                 QStringLiteral("LDV_INTERFACES=") + root.value(QStringLiteral("file")).toString());
        const QJsonArray entries = root.value(QStringLiteral("interfaces")).toArray();
        QCOMPARE(entries.size(), 4);
        QCOMPARE(entries.at(0).toObject().value(QStringLiteral("comment")).toString(),
                 QStringLiteral("a network description, relative to this file"));
        QCOMPARE(entries.at(3).toObject(),
                 (QJsonObject{{QStringLiteral("name"), QStringLiteral("LONIP-U")},
                              {QStringLiteral("kind"), QStringLiteral("ip852")},
                              {QStringLiteral("summary"), QStringLiteral("LonWorks/IP channel, unicast from 127.0.0.1:1629 "
                                                                         "to 2 member(s), MD5, LonTalk authentication in "
                                                                         "domain 1 (key C3\u2026)")}}));
        // The rest of the key appears nowhere.
        QVERIFY(!result.Out.contains(QStringLiteral("D4E5F6"), Qt::CaseInsensitive));
        const QJsonArray builtin = root.value(QStringLiteral("builtin")).toArray();
        QVERIFY(builtin.size() >= 2);
        QCOMPARE(builtin.at(0).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("LON1"));
        QCOMPARE(builtin.at(0).toObject().value(QStringLiteral("shadowed")).toBool(), false);
        QCOMPARE(builtin.at(1).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("small"));

        const TLonctlResult none = RunLonctl({QStringLiteral("interfaces"), QStringLiteral("--json")},
                                             Environment(TWhere::Nowhere, QByteArray(), QString()));
        QCOMPARE(none.ExitCode, 0);
        const QJsonObject empty = QJsonDocument::fromJson(none.Out.toUtf8()).object();
        QVERIFY(empty.value(QStringLiteral("file")).isNull());
        QCOMPARE(empty.value(QStringLiteral("interfaces")).toArray().size(), 0);
        QCOMPARE(empty.value(QStringLiteral("searched")).toArray().size(), 3);
    }

    void argumentsAreRefused()
    {
        const TLonctlResult result = RunLonctl({QStringLiteral("interfaces"), QStringLiteral("LON1")},
                                               Environment(TWhere::Nowhere, QByteArray(), QString()));
        QVERIFY(result.Finished);
        QCOMPARE(result.ExitCode, 64);
        QCOMPARE(result.Out, QString());
        QVERIFY2(result.Err.contains(QStringLiteral("too many arguments")), qPrintable(result.Err));
    }
};

QTEST_GUILESS_MAIN(TestLonctlInterfaces)
#include "tst_lonctl_interfaces.moc"
