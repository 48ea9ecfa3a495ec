// Binding of the driver library: a missing library, a library missing entries, and the
// project's own simulator library found beside the program.
#include "lonworks/LDV32.h"
#include "lonworks/LonLib.h"

#include <QTest>

class TestLdvBinding : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        LDV32::Unload();
        qunsetenv("LDV32_LIBRARY");
    }

    void missingLibrary()
    {
        qputenv("LDV32_LIBRARY", "/nonexistent/folder/libldv32.so");
        QVERIFY(!LDV32::Load());
        QVERIFY(!LDV32::IsLoaded());
        QCOMPARE(LDV32::LibraryPath(), QStringLiteral("/nonexistent/folder/libldv32.so"));
        QVERIFY(LDV32::ErrorText().contains(QStringLiteral("libldv32.so")));
        ExpectEveryCallFails();
    }

    void libraryMissingEntries()
    {
        qputenv("LDV32_LIBRARY", LDV_PARTIAL_PATH);
        QVERIFY(LDV32::Load());
        QCOMPARE(LDV32::LibraryVersion(), QStringLiteral("partial 0.1"));
        const QStringList missing{"ldv_open", "ldv_write", "ldv_register_event", "ldv_get_debug_info",
                                  "ldv_xlate_device_name", "ldv_xlate_device_name_std", "ldv_enable"};
        QCOMPARE(LDV32::MissingEntries(), missing);
        QVERIFY(LDV32::ErrorText().contains(QStringLiteral("ldv_open")));
        qint16 handle = 42;
        QCOMPARE(LDV32::Open("LON1", handle), LDV32::MissingStatus);
        QCOMPARE(handle, qint16(42));
        QCOMPARE(LDV32::Close(7), qint16(0));
        char buffer[16] = {};
        QCOMPARE(LDV32::Read(1, buffer, sizeof buffer), qint16(6));
        QCOMPARE(LDV32::Write(1, buffer, sizeof buffer), LDV32::MissingStatus);
        QCOMPARE(LDV32::XlateDeviceNameStd("LON1"), QString());

        // A transaction over it fails at once with the missing write's status.
        TniNetworkInterface ni;
        ni.SetHandleForTest(1);
        TniDomainTableEntry entry;
        QCOMPARE(QueryDomain(ni, 0, entry), LDV32::MissingStatus);
        quint8 length = 9;
        std::array<quint8, 8> value{};
        QCOMPARE(FetchNetworkVariable(ni, 0, 1, 2, 3, value, length), LDV32::MissingStatus);
        QCOMPARE(length, quint8(0));
    }

    void loadIsIdempotent()
    {
        qputenv("LDV32_LIBRARY", LDV_PARTIAL_PATH);
        QVERIFY(LDV32::Load());
        qputenv("LDV32_LIBRARY", "/nonexistent/libldv32.so");
        QVERIFY(LDV32::Load());
        QCOMPARE(LDV32::LibraryVersion(), QStringLiteral("partial 0.1"));
    }

    void simulatorBesideTheProgram()
    {
        QVERIFY2(LDV32::Load(), qPrintable(LDV32::ErrorText()));
        QVERIFY(LDV32::LibraryPath().endsWith(QStringLiteral("/libldv32.so")));
        QCOMPARE(LDV32::MissingEntries(), QStringList());
        QVERIFY(!LDV32::LibraryVersion().isEmpty());
        QVERIFY(!LDV32::XlateDeviceNameStd("LON1").isEmpty());
        qint16 handle = -1;
        QCOMPARE(LDV32::Open("LON1", handle), qint16(0));
        QVERIFY(handle >= 0);
        QCOMPARE(LDV32::Close(handle), qint16(0));
        QVERIFY(LDV32::Open("no such interface", handle) != 0);
    }

private:
    void ExpectEveryCallFails()
    {
        qint16 handle = 5;
        QCOMPARE(LDV32::Open("LON1", handle), LDV32::MissingStatus);
        QCOMPARE(handle, qint16(5));
        char buffer[32] = {};
        QCOMPARE(LDV32::Read(0, buffer, sizeof buffer), LDV32::MissingStatus);
        QCOMPARE(LDV32::Write(0, buffer, sizeof buffer), LDV32::MissingStatus);
        QCOMPARE(LDV32::Close(0), LDV32::MissingStatus);
        QCOMPARE(LDV32::GetVersion(), QString());
        QCOMPARE(LDV32::XlateDeviceNameStd("LON1"), QString());
        TniNetworkInterface ni;
        QCOMPARE(ReadFile(ni, 0, 1, 2, 0, 5, std::span<quint8>()), 0);
    }
};

QTEST_GUILESS_MAIN(TestLdvBinding)
#include "tst_ldvbinding.moc"
