// lonworks-web's pieces without a bus: the configuration's checks, the users file and its
// password check, the trend ring, point ranges and the write check, and the HTTP framing's
// limits against a real listener on the loopback.
#include "client/PointEntries.h"
#include "web/HttpServer.h"
#include "web/TrendCsv.h"
#include "web/TrendRing.h"
#include "web/UserStore.h"
#include "web/WebConfig.h"
#include "web/WebPoint.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

class TestWebParts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void configRefusals_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("problem");
        QTest::newRow("no sites") << R"({})" << "sites: a list of 1 to 32 sites";
        QTest::newRow("unknown key") << R"({"sites":[{"description":"A"}],"listn":{}})" << "unknown key \"listn\"";
        QTest::newRow("unknown site key") << R"({"sites":[{"description":"A","interfce":"LON1"}]})" << "sites[0]: unknown key \"interfce\"";
        QTest::newRow("bad address") << R"({"listen":{"address":"localhost"},"sites":[{"description":"A"}]})" << "listen.address: \"localhost\" is not an IP address";
        QTest::newRow("port out of range") << R"({"listen":{"port":70000},"sites":[{"description":"A"}]})" << "listen.port: a whole number 0..65535";
        QTest::newRow("same site twice") << R"({"sites":[{"description":"Plant"},{"description":"PLANT"}]})" << "sites[1].description: \"PLANT\" is listed twice";
        QTest::newRow("empty description") << R"({"sites":[{"description":" "}]})" << "sites[0].description: required";
        QTest::newRow("key without certificate") << R"({"tls":{"key":"missing.pem"},"sites":[{"description":"A"}]})" << "tls.key: cannot read";
        QTest::newRow("bus") << R"({"bus":"user","sites":[{"description":"A"}]})" << "bus: \"session\" or \"system\"";
        QTest::newRow("retry order") << R"({"siteRetryMinSeconds":5,"siteRetryMaxSeconds":1,"sites":[{"description":"A"}]})" << "must not be below";
        QTest::newRow("trend too large") << R"({"trend":{"samples":100001},"sites":[{"description":"A"}]})" << "trend.samples";
        QTest::newRow("not json") << R"({"sites":)" << "line 1: not valid JSON";
    }

    void configRefusals()
    {
        QFETCH(QString, json);
        QFETCH(QString, problem);
        TWebConfig config;
        QString said;
        QVERIFY(!ReadWebConfig(json.toUtf8(), QDir::tempPath(), config, said));
        QVERIFY2(said.contains(problem), qPrintable(said));
    }

    void exposure_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<bool>("users");
        QTest::addColumn<bool>("insecure");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("loopback, nothing") << "127.0.0.1" << false << false << false << true;
        QTest::newRow("loopback v6") << "::1" << false << false << false << true;
        QTest::newRow("any, nothing") << "0.0.0.0" << false << false << false << false;
        QTest::newRow("any, users only") << "0.0.0.0" << false << true << false << false;
        QTest::newRow("any, tls only") << "0.0.0.0" << true << false << false << false;
        QTest::newRow("any, tls and users") << "0.0.0.0" << true << true << false << true;
        QTest::newRow("any, --insecure") << "0.0.0.0" << false << false << true << true;
    }

    void exposure()
    {
        QFETCH(QString, address);
        QFETCH(bool, tls);
        QFETCH(bool, users);
        QFETCH(bool, insecure);
        QFETCH(bool, allowed);
        TWebConfig config;
        config.Address = QHostAddress(address);
        config.CertificateFile = tls ? QStringLiteral("cert.pem") : QString();
        config.UsersFile = users ? QStringLiteral("users") : QString();
        QString problem;
        QCOMPARE(ExposureAllowed(config, insecure, problem), allowed);
        QCOMPARE(problem.isEmpty(), allowed);
    }

    void usersFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("users"));
        QString problem;
        QVERIFY2(TUserStore::AddUser(path, QStringLiteral("ann"), TWebRole::Admin, QStringLiteral("s3cret"), problem), qPrintable(problem));
        QVERIFY(TUserStore::AddUser(path, QStringLiteral("bob"), TWebRole::Viewer, QStringLiteral("look"), problem));
        // A second add replaces the user: the old password no longer works.
        QVERIFY(TUserStore::AddUser(path, QStringLiteral("ann"), TWebRole::Admin, QStringLiteral("n3w"), problem));
        QCOMPARE(QFile(path).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), QFileDevice::Permissions());
        TUserStore users;
        QVERIFY2(users.Load(path, problem), qPrintable(problem));
        QCOMPARE(users.Count(), 2);
        QCOMPARE(users.Check(QStringLiteral("ann"), QStringLiteral("n3w")), TWebRole::Admin);
        QCOMPARE(users.Check(QStringLiteral("ann"), QStringLiteral("s3cret")), TWebRole::None);
        QCOMPARE(users.Check(QStringLiteral("bob"), QStringLiteral("look")), TWebRole::Viewer);
        QCOMPARE(users.Check(QStringLiteral("bob"), QStringLiteral("Look")), TWebRole::None);
        QCOMPARE(users.Check(QStringLiteral("carl"), QStringLiteral("look")), TWebRole::None);
        // The file holds no password in the clear.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(!text.contains("n3w") && !text.contains("look"));

        // A link is never written through; a bad line is refused with its number.
        const QString link = dir.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(path, link));
        QVERIFY(!TUserStore::AddUser(link, QStringLiteral("eve"), TWebRole::Admin, QStringLiteral("x"), problem));
        QVERIFY(problem.contains(QStringLiteral("symbolic link")));
        QFile broken(dir.filePath(QStringLiteral("broken")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write(text + "mallory:admin:plain:1:x:y\n");
        broken.close();
        QVERIFY(!users.Load(broken.fileName(), problem));
        QVERIFY2(problem.endsWith(QStringLiteral(":3: not a user line (name:admin|viewer:pbkdf2-sha256:iterations:salt:key); "
                                                 "write users with lonworks-web --add-user")), qPrintable(problem));
    }

    void trendRingKeepsTheNewest()
    {
        TTrendRing ring;
        const qint64 start = 1700000000000LL;
        for (int i = 0; i < 10; ++i)
            ring.Add(start + i * 1000, i, 4);
        QCOMPARE(ring.Size(), 4);
        const QList<TTrendSample> all = ring.Between(0, std::numeric_limits<qint64>::max());
        QCOMPARE(all.size(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(all.at(i).Ms, start + (6 + i) * 1000);
            QCOMPARE(all.at(i).Value, double(6 + i));
        }
        QCOMPARE(ring.Between(start + 7000, start + 8000).size(), 2);
        QCOMPARE(ring.LastMs(), start + 9000);
        QVERIFY(ring.MemoryBytes() <= 4 * 8 + 64);
    }

    void trendCsvAppendsAndRefusesLinks()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("trends"));
        const qint64 day1 = QDateTime(QDate(2026, 3, 1), QTime(23, 59, 59), Qt::UTC).toMSecsSinceEpoch();
        const qint64 day2 = day1 + 2000;
        QFile target(dir.filePath(QStringLiteral("elsewhere")));
        QVERIFY(target.open(QIODevice::WriteOnly));
        target.close();
        {
            TTrendCsv csv(folder);
            QVERIFY(QDir().mkpath(folder));
            // Tomorrow's file of site A is a link: nothing goes through it.
            QVERIFY(QFile::link(target.fileName(), csv.FileName(QStringLiteral("A/B"), QDate(2026, 3, 2))));
            csv.Append(QStringLiteral("A/B"), day1, TTrendCsv::Line(day1, QStringLiteral("0:1:2:3:4:5:6:7"), 21.5));
            csv.Append(QStringLiteral("A/B"), day1, TTrendCsv::Line(day1, QStringLiteral("0:1:2:3:4:5:6:7"), 22));
            csv.Append(QStringLiteral("A/B"), day2, TTrendCsv::Line(day2, QStringLiteral("0:1:2:3:4:5:6:7"), 23));
        }
        QFile first(QDir(folder).filePath(QStringLiteral("A_B-2026-03-01.csv")));
        QVERIFY(first.open(QIODevice::ReadOnly));
        QCOMPARE(first.readAll(), QByteArray("time,address,value\n2026-03-01T23:59:59Z,0:1:2:3:4:5:6:7,21.5\n"
                                             "2026-03-01T23:59:59Z,0:1:2:3:4:5:6:7,22\n"));
        QCOMPARE(QFileInfo(target.fileName()).size(), 0);
    }

    void polledValueItems_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("value");
        QTest::newRow("value") << "POINT3={0:1:10:0:105:0:3:105}{VALUE=21.5000}" << true << "0:1:10:0:105:0:3:105" << "21.5000";
        QTest::newRow("empty value") << "POINT0={0:1:10:6:95:0:2:95}{VALUE=}" << true << "0:1:10:6:95:0:2:95" << "";
        QTest::newRow("text with spaces") << "POINT9={a}{VALUE=AHU 1 = on}" << true << "a" << "AHU 1 = on";
        QTest::newRow("no value group") << "POINT1={a}" << false << "" << "";
        QTest::newRow("another group") << "POINT1={a}{NAME=x}" << false << "" << "";
        QTest::newRow("groups apart") << "POINT1={a} {VALUE=1}" << false << "" << "";
        QTest::newRow("nothing") << "" << false << "" << "";
    }

    void polledValueItems()
    {
        QFETCH(QString, item);
        QFETCH(bool, read);
        QFETCH(QString, address);
        QFETCH(QString, value);
        QStringView gotAddress;
        QStringView gotValue;
        QCOMPARE(PolledValueOf(item, gotAddress, gotValue), read);
        if (read) {
            QCOMPARE(gotAddress.toString(), address);
            QCOMPARE(gotValue.toString(), value);
            QCOMPARE(PolledValues({item}).value(address), value);
        }
    }

    void writeChecks_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("value");     // empty: refused
        QTest::addColumn<QString>("refusal");
        // SNVT_temp_p: signed hundredths of a degree.
        QTest::newRow("temp in range") << "0:1:10:1:105:0:3:105" << "Analog" << "22.75" << "22.75" << "";
        QTest::newRow("temp at max") << "0:1:10:1:105:0:3:105" << "Analog" << "327.67" << "327.67" << "";
        QTest::newRow("temp above") << "0:1:10:1:105:0:3:105" << "Analog" << "400" << "" << "400 is out of range for this point: -327.68 to 327.67 °C.";
        QTest::newRow("temp below") << "0:1:10:1:105:0:3:105" << "Analog" << "-327.69" << "" << "out of range";
        QTest::newRow("not a number") << "0:1:10:1:105:0:3:105" << "Analog" << "warm" << "" << "\"warm\" is not a number.";
        QTest::newRow("unsigned byte") << "0:1:20:4:81:0:0:0" << "Analog" << "-1" << "" << "0 to 255";
        QTest::newRow("switch on") << "0:1:10:6:95:0:2:95" << "Digital" << "on" << "ON" << "";
        QTest::newRow("switch nonsense") << "0:1:10:6:95:0:2:95" << "Digital" << "maybe" << "" << "is not ON or OFF";
        QTest::newRow("braces") << "0:1:20:10:88:0:5:6" << "String" << "{x}" << "" << "without braces";
    }

    void writeChecks()
    {
        QFETCH(QString, address);
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(QString, value);
        QFETCH(QString, refusal);
        const TWebPoint point = MakeWebPoint(address, QStringLiteral("P"), address.contains(QStringLiteral(":105:"))
                                                 ? QStringLiteral("°C") : QString(), kind, true, false);
        QString written;
        QString said;
        QCOMPARE(CheckWriteValue(point, text, written, said), !value.isEmpty());
        QCOMPARE(written, value);
        QVERIFY2(said.contains(refusal), qPrintable(said));
    }

    // The framing's limits against a real listener: each request gets its status and the
    // connection is closed, a small request on the same connection afterwards is not read.
    void httpLimits_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::newRow("fine") << QByteArray("GET /x HTTP/1.1\r\nHost: a\r\n\r\n") << 200;
        QTest::newRow("header too large") << QByteArray("GET /x HTTP/1.1\r\nX-Big: " + QByteArray(3000, 'a') + "\r\n\r\n") << 431;
        QTest::newRow("header never ends") << QByteArray("GET /x HTTP/1.1\r\nX-Big: " + QByteArray(3000, 'a')) << 431;
        QTest::newRow("too many lines") << QByteArray("GET /x HTTP/1.1\r\n" + QByteArray("A: b\r\n").repeated(30) + "\r\n") << 431;
        QTest::newRow("long target") << QByteArray("GET /" + QByteArray(1200, 'a') + " HTTP/1.1\r\n\r\n") << 414;
        QTest::newRow("body too large") << QByteArray("POST /x HTTP/1.1\r\nContent-Length: 1025\r\n\r\n") << 413;
        QTest::newRow("chunked") << QByteArray("POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n") << 411;
        QTest::newRow("no http") << QByteArray("HELLO\r\n\r\n") << 400;
        QTest::newRow("version") << QByteArray("GET / HTTP/2.0\r\n\r\n") << 505;
        QTest::newRow("bad length") << QByteArray("POST /x HTTP/1.1\r\nContent-Length: -5\r\n\r\n") << 400;
        QTest::newRow("slow body") << QByteArray("POST /x HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc") << 408;
    }

    void httpLimits()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        THttpLimits limits;
        limits.MaxRequestLineBytes = 1024;
        limits.MaxHeaderBytes = 2048;
        limits.MaxHeaderLines = 20;
        limits.MaxBodyBytes = 1024;
        limits.RequestTimeoutMs = 300;
        THttpServer server(limits);
        int handled = 0;
        server.SetHandler([&handled](const THttpRequest &, const THttpReply &reply) {
            ++handled;
            reply.Send(THttpResponse::Json(200, "{}"));
        });
        QString problem;
        QVERIFY2(server.Listen(QHostAddress::LocalHost, 0, problem), qPrintable(problem));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, server.Port());
        QVERIFY(client.waitForConnected(5000));
        client.write(request);
        QByteArray answer;
        QVERIFY(QTest::qWaitFor([&] {
            answer += client.readAll();
            return answer.contains("\r\n\r\n");
        }, 5000));
        QVERIFY2(answer.startsWith(QByteArray("HTTP/1.1 " + QByteArray::number(status) + " ")), answer.constData());
        QCOMPARE(handled, status == 200 ? 1 : 0);
        if (status != 200) {
            // The connection is closed after a refusal.
            QVERIFY(QTest::qWaitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; }, 5000));
        }
    }

    void httpKeepAliveAndLater()
    {
        THttpServer server{THttpLimits()};
        QList<THttpReply> held;
        server.SetHandler([&held](const THttpRequest &request, const THttpReply &reply) {
            if (request.Path == QLatin1String("/later"))
                held.append(reply);
            else
                reply.Send(THttpResponse::Json(200, "\"" + request.Path.toUtf8() + "\""));
        });
        QString problem;
        QVERIFY(server.Listen(QHostAddress::LocalHost, 0, problem));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, server.Port());
        QVERIFY(client.waitForConnected(5000));
        // Two requests in one write: answered in order on the same connection, the second
        // only after the first (answered later) is done.
        client.write("GET /later HTTP/1.1\r\n\r\nGET /next HTTP/1.1\r\n\r\n");
        QVERIFY(QTest::qWaitFor([&] { return held.size() == 1; }, 5000));
        QTest::qWait(50);
        QCOMPARE(client.bytesAvailable(), 0);
        held.first().Send(THttpResponse::Json(202, "\"done\""));
        QByteArray answer;
        QVERIFY(QTest::qWaitFor([&] { answer += client.readAll(); return answer.contains("\"/next\""); }, 5000));
        QVERIFY(answer.startsWith("HTTP/1.1 202 "));
        QVERIFY(answer.indexOf("\"done\"") < answer.indexOf("\"/next\""));
        QCOMPARE(client.state(), QAbstractSocket::ConnectedState);
    }
};

QTEST_GUILESS_MAIN(TestWebParts)
#include "tst_web_parts.moc"
