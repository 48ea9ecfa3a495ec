// State files written with ReplaceFile: the folders that are missing are made (each 0700),
// and a symlink is never written through: not in the file's place, not as the file's
// folder, not as a folder the call itself makes. An existing folder higher up that links
// elsewhere (a home laid out with links) stays usable.
#include "support/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestSafeFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replaceFile_data()
    {
        QTest::addColumn<QString>("setup");      // what is there before: see below
        QTest::addColumn<QString>("file");       // the file written, below the test folder
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("madeFolder"); // a folder the call had to make (mode 0700)
        QTest::newRow("fresh account") << "" << "home/.local/state/lonworks/s.json" << true << "home/.local";
        QTest::newRow("folder there") << "dir:home/.local/state/lonworks" << "home/.local/state/lonworks/s.json" << true << "";
        QTest::newRow("linked state folder above") << "link:home/.local/state>elsewhere" << "home/.local/state/lonworks/s.json" << true << "elsewhere/lonworks";
        QTest::newRow("file's folder is a link") << "link:home/.local/state/lonworks>victim" << "home/.local/state/lonworks/s.json" << false << "";
        QTest::newRow("link in the file's place") << "dir:home/state;link:home/state/s.json>victim/target" << "home/state/s.json" << true << "";
    }
    void replaceFile()
    {
        QFETCH(QString, setup);
        QFETCH(QString, file);
        QFETCH(bool, written);
        QFETCH(QString, madeFolder);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QDir top(dir.path());
        QVERIFY(top.mkpath(QStringLiteral("victim")) && top.mkpath(QStringLiteral("elsewhere")));
        for (const QString &step : setup.split(u';', Qt::SkipEmptyParts)) {
            const QString what = step.section(u':', 1);
            if (step.startsWith(QLatin1String("dir:"))) {
                QVERIFY(top.mkpath(what));
            } else {
                const QString link = top.filePath(what.section(u'>', 0, 0));
                QVERIFY(top.mkpath(QFileInfo(link).path()));
                QVERIFY(QFile::link(top.filePath(what.section(u'>', 1)), link));
            }
        }

        QString error;
        QCOMPARE(ReplaceFile(top.filePath(file), "state\n", error), written);
        QCOMPARE(error.isEmpty(), written);
        // Nothing ever lands in the folder links point at unless it is the user's own layout.
        QVERIFY2(QDir(top.filePath(QStringLiteral("victim"))).isEmpty(), "written through a link");
        if (!written) {
            QVERIFY2(error.contains(QLatin1String("symlink is not followed")), qPrintable(error));
            return;
        }
        QFile result(top.filePath(file));
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(result.readAll(), QByteArray("state\n"));
        QVERIFY(!QFileInfo(top.filePath(file)).isSymLink());
        QCOMPARE(QFileInfo(top.filePath(file)).dir().entryList(QDir::Files | QDir::Hidden).size(), 1);
        if (!madeFolder.isEmpty())
            QCOMPARE(QFileInfo(top.filePath(madeFolder)).permissions(),
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                         | QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
    }
};

QTEST_GUILESS_MAIN(TestSafeFile)
#include "tst_safefile.moc"
