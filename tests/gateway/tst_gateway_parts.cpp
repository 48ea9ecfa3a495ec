#include <QTest>
class TestGatewayParts : public QObject { Q_OBJECT private Q_SLOTS: void none() {} };
QTEST_GUILESS_MAIN(TestGatewayParts)
#include "tst_gateway_parts.moc"
