// TSiteSession against the real driver: a session whose driver was replaced by a new one
// must fail, not reach whatever object the new driver keeps at the same path.
#include "DriverProcess.h"

#include "client/DriverAnswer.h"
#include "client/SiteSession.h"
#include "client/SiteSettings.h"

#include <QDBusConnection>
#include <QTest>


namespace {

constexpr int kTimeoutMs = 30000;

struct TOutcome
{
    bool Done = false;
    bool Failed = false;
    TSessionError Error;
    TDriverAnswer Answer;
};

bool WaitFor(const TOutcome &outcome)
{
    return QTest::qWaitFor([&outcome] { return outcome.Done; }, kTimeoutMs);
}

TSiteSettings Site(const QString &description)
{
    TSiteSettings site;
    site.Description = description;
    site.Offline = true;
    return site;
}

TOutcome Open(TSiteSession &session, const QString &description)
{
    TOutcome outcome;
    session.Open(Site(description), kTimeoutMs, [&outcome] { outcome.Done = true; },
                 [&outcome](const TSessionError &error) {
                     outcome.Done = outcome.Failed = true;
                     outcome.Error = error;
                 });
    WaitFor(outcome);
    return outcome;
}

TOutcome Run(TSiteSession &session, const QStringList &request)
{
    TOutcome outcome;
    session.Run(request, kTimeoutMs,
                [&outcome](const TDriverAnswer &answer) {
                    outcome.Done = true;
                    outcome.Answer = answer;
                },
                [&outcome](const TSessionError &error) {
                    outcome.Done = outcome.Failed = true;
                    outcome.Error = error;
                });
    WaitFor(outcome);
    return outcome;
}

} // namespace

class TestSiteSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sessionOfAReplacedDriverFails()
    {
        TDriverProcess first;
        QVERIFY(first.Start());
        TSiteSession old(QDBusConnection::sessionBus());
        const TOutcome opened = Open(old, QStringLiteral("Old site"));
        QVERIFY2(opened.Done && !opened.Failed, qPrintable(opened.Error.Message));
        const QString path = old.ObjectPath();

        // The driver dies; a new one starts and gives this same connection an object
        // at the path the old session still holds.
        first.Process().kill();
        QVERIFY(first.Process().waitForFinished(10000));
        QVERIFY(TDriverProcess::WaitForBusName(false));
        TDriverProcess second;
        QVERIFY(second.Start());
        TSiteSession fresh(QDBusConnection::sessionBus());
        const TOutcome reopened = Open(fresh, QStringLiteral("New site"));
        QVERIFY2(reopened.Done && !reopened.Failed, qPrintable(reopened.Error.Message));
        QCOMPARE(fresh.ObjectPath(), path);

        // The old session's next command fails as lost: the new site never sees it.
        const TOutcome status = Run(old, {QStringLiteral("COMMAND=SITESTATUS")});
        QVERIFY(status.Done);
        QVERIFY2(status.Failed, "the old session reached the new driver's object");
        QCOMPARE(status.Error.Type, TSessionError::Lost);
        QVERIFY(!old.IsOpen());
        const TOutcome still = Run(fresh, {QStringLiteral("COMMAND=SITESTATUS")});
        QVERIFY2(still.Done && !still.Failed, qPrintable(still.Error.Message));
    }
};

QTEST_GUILESS_MAIN(TestSiteSession)
#include "tst_site_session.moc"
