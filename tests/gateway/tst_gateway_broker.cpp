// lonworks-gateway against brokers that turn it away, as a user meets them: a real
// mosquitto refusing the login, and TLS listeners whose certificate the gateway must not
// trust (signed by an authority it does not know, made out to another host name). Each run
// is `lonworks-gateway --once`: exit status 2 (the broker could not be reached) and one
// clear line saying why.
#include "MqttBroker.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString Program(const QString &name)
{
    return QCoreApplication::applicationDirPath() + u'/' + name;
}

// Runs a tool; true when it exited with 0.
bool Run(const QString &program, const QStringList &arguments, const QString &folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(2000);
        return false;
    }
    if (process.exitCode() != 0)
        qWarning("%s: %s", qPrintable(program), process.readAll().constData());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

class TestGatewayBroker : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;
    QString FOpenssl;

    // A certificate authority and a server certificate it signed for `host`, as
    // <name>-ca.pem, <name>-cert.pem, <name>-key.pem.
    bool MakeCertificates(const QString &name, const QString &host)
    {
        const auto openssl = [this, &name](const QString &arguments) {
            return Run(FOpenssl, QString(arguments).replace(QLatin1String("NAME"), name).split(u' '), FDir.path());
        };
        return openssl(QStringLiteral("req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=NAME-ca "
                                      "-keyout NAME-ca-key.pem -out NAME-ca.pem"))
            && openssl(QStringLiteral("req -newkey rsa:2048 -nodes -subj /CN=%1 -keyout NAME-key.pem "
                                      "-out NAME.csr").arg(host))
            && openssl(QStringLiteral("x509 -req -in NAME.csr -CA NAME-ca.pem -CAkey NAME-ca-key.pem "
                                      "-CAcreateserial -days 2 -out NAME-cert.pem"));
    }

    // mosquitto started as root reads its files as the user it changes to: the test's
    // folder and files must be readable by others.
    void ShareFolder() const
    {
        const auto readable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                              | QFileDevice::ReadOther;
        QFile::setPermissions(FDir.path(), readable | QFileDevice::ExeOwner | QFileDevice::ExeGroup
                                               | QFileDevice::ExeOther);
        for (const QString &name : QDir(FDir.path()).entryList(QDir::Files))
            QFile::setPermissions(FDir.filePath(name), readable);
    }

    // Writes the configuration and runs the gateway once against the broker.
    int RunOnce(const QString &broker, QString &log)
    {
        QFile config(FDir.filePath(QStringLiteral("gateway.json")));
        if (!config.open(QIODevice::WriteOnly))
            return -1;
        config.write(QStringLiteral("{\"broker\": {%1, \"reconnectMinSeconds\": 0.5}, "
                                    "\"sites\": [{\"description\": \"Plant\"}]}").arg(broker).toUtf8());
        config.close();
        QProcess gateway;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), FDir.filePath(QStringLiteral("config")));
        gateway.setProcessEnvironment(environment);
        gateway.start(Program(QStringLiteral("lonworks-gateway")),
                      {QStringLiteral("--config"), config.fileName(), QStringLiteral("--once"),
                       QStringLiteral("--once-timeout"), QStringLiteral("3")});
        if (!gateway.waitForFinished(60000)) {
            gateway.kill();
            gateway.waitForFinished(5000);
            return -1;
        }
        log = QString::fromUtf8(gateway.readAllStandardError());
        return gateway.exitCode();
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!TMqttBroker::Available())
            QSKIP("mosquitto and mosquitto-clients are not installed (scripts/bootstrap.sh installs them)");
        FOpenssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
        QVERIFY(FDir.isValid());
    }

    // A wrong password: one line that names the user and what to check, and nothing from
    // the library's socket layer before it.
    void refusedLogin()
    {
        const QString mosquittoPasswd = QStandardPaths::findExecutable(QStringLiteral("mosquitto_passwd"));
        if (mosquittoPasswd.isEmpty())
            QSKIP("mosquitto_passwd is not installed");
        const QString passwords = FDir.filePath(QStringLiteral("passwords"));
        QVERIFY(Run(mosquittoPasswd, {QStringLiteral("-b"), QStringLiteral("-c"), passwords, QStringLiteral("lon"),
                                      QStringLiteral("right")},
                    FDir.path()));
        QFile wrong(FDir.filePath(QStringLiteral("wrong-password")));
        QVERIFY(wrong.open(QIODevice::WriteOnly));
        wrong.write("Pa55-not-this-one\n");
        wrong.close();
        ShareFolder();
        TMqttBroker broker;
        QVERIFY(broker.Start(QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(passwords)));

        QString log;
        QCOMPARE(RunOnce(QStringLiteral("\"url\": \"%1\", \"user\": \"lon\", \"passwordFile\": \"%2\"")
                             .arg(broker.Url(), wrong.fileName()),
                         log),
                 2);
        const QStringList lines = log.split(u'\n', Qt::SkipEmptyParts)
                                      .filter(QStringLiteral("refused"), Qt::CaseInsensitive);
        QVERIFY2(!lines.isEmpty(), qPrintable(log));
        QVERIFY2(lines.first().contains(QStringLiteral("the broker refused the login of user \"lon\"")), qPrintable(log));
        QVERIFY2(lines.first().contains(QStringLiteral("check broker.user and broker.passwordFile")), qPrintable(log));
        QVERIFY2(!log.contains(QStringLiteral("The connection was refused")), qPrintable(log));
        QVERIFY2(!log.contains(QStringLiteral("Pa55-not-this-one")), "the password was printed");
    }

    // TLS: why the broker's certificate was not trusted.
    void untrustedCertificates_data()
    {
        QTest::addColumn<QString>("host");        // the certificate is made out to it
        QTest::addColumn<bool>("withCa");         // broker.caFile names the authority that signed it
        QTest::addColumn<QString>("reason");
        QTest::newRow("unknown authority") << "127.0.0.1" << false
                                           << "TLS: the broker's certificate is not trusted: unable to get local "
                                              "issuer certificate (trusted: the system's certificate authorities";
        QTest::newRow("another host name") << "broker.example" << true
                                           << "TLS: the broker's certificate is not made out to the host name "
                                              "\"127.0.0.1\" of broker.url";
    }

    void untrustedCertificates()
    {
        QFETCH(QString, host);
        QFETCH(bool, withCa);
        QFETCH(QString, reason);
        if (FOpenssl.isEmpty())
            QSKIP("openssl is not installed");
        const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
        QVERIFY(MakeCertificates(name, host));
        ShareFolder();
        TMqttBroker broker;
        QVERIFY(broker.Start(QStringLiteral("certfile %1\nkeyfile %2\n")
                                 .arg(FDir.filePath(name + QStringLiteral("-cert.pem")),
                                      FDir.filePath(name + QStringLiteral("-key.pem")))));
        const QString url = QStringLiteral("mqtts://127.0.0.1:%1").arg(broker.Port());
        const QString ca = withCa ? QStringLiteral(", \"caFile\": \"%1\"").arg(FDir.filePath(name + QStringLiteral("-ca.pem")))
                                  : QString();
        QString log;
        QCOMPARE(RunOnce(QStringLiteral("\"url\": \"%1\"%2").arg(url, ca), log), 2);
        QVERIFY2(log.contains(reason), qPrintable(log));
    }
};

QTEST_GUILESS_MAIN(TestGatewayBroker)
#include "tst_gateway_broker.moc"
