// The site record: its published properties, by name, and copying one record into another.
#include "site/TypeSite.h"

#include <QMetaProperty>
#include <QTest>

class TestTypeSite : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void propertiesInDeclaredOrder();
    void newRecordIsEmpty();
    void readWriteByName_data();
    void readWriteByName();
    void serverIndexIsNoProperty();
    void assignFromCopiesAllButDirectConnect();
    void assignFromOtherClass();
    void assignFromSelfOrNull();
};

namespace {

const QStringList kPublished{
    "Description", "OfflineMode",   "DirectConnect",  "Username",       "Password",
    "DeviceType",  "Address",       "UpdateRate",     "PanelType",      "PanelTypeID",
    "PanelTypeIndex", "IsRemoteClient", "LonDeviceName", "TempsInF",    "Dom0ID",
    "Dom1ID",      "Dom0Node",      "Dom1Node",       "Dom0Subnet",     "Dom1Subnet",
};

QStringList OwnProperties(const QObject &object)
{
    const QMetaObject *meta = object.metaObject();
    QStringList names;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        names << QString::fromLatin1(meta->property(i).name());
    return names;
}

void FillAll(TSite &site, bool directConnect)
{
    site.Description = QStringLiteral("Plant A");
    site.OfflineMode = true;
    site.DirectConnect = directConnect;
    site.Username = QStringLiteral("user");
    site.Password = QStringLiteral("secret");
    site.DeviceType = QStringLiteral("LON");
    site.Address = QStringLiteral("addr");
    site.UpdateRate = 250;
    site.PanelType = QStringLiteral("panel");
    site.PanelTypeID = QStringLiteral("pid");
    site.PanelTypeIndex = 3;
    site.IsRemoteClient = true;
    site.LonDeviceName = QStringLiteral("LON2");
    site.TempsInF = true;
    site.Dom0ID = QStringLiteral("1A");
    site.Dom1ID = QStringLiteral("01:02:03");
    site.Dom0Node = 5;
    site.Dom1Node = 6;
    site.Dom0Subnet = 7;
    site.Dom1Subnet = 8;
    site.ServerIndex = 42;
}

} // namespace

void TestTypeSite::propertiesInDeclaredOrder()
{
    TSite site;
    QCOMPARE(OwnProperties(site), kPublished);
}

void TestTypeSite::newRecordIsEmpty()
{
    TSite site;
    for (const QString &name : kPublished) {
        const QVariant value = site.property(name.toLatin1());
        QVERIFY2(value.isValid(), qPrintable(name));
        if (value.typeId() == QMetaType::QString)
            QVERIFY2(value.toString().isEmpty(), qPrintable(name));
        else
            QVERIFY2(value.toLongLong() == 0, qPrintable(name));
    }
    QCOMPARE(site.ServerIndex, 0);
}

void TestTypeSite::readWriteByName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");
    QTest::newRow("Description") << "Description" << QVariant(QStringLiteral("North"));
    QTest::newRow("OfflineMode") << "OfflineMode" << QVariant(true);
    QTest::newRow("DirectConnect") << "DirectConnect" << QVariant(true);
    QTest::newRow("UpdateRate") << "UpdateRate" << QVariant(qint32(-5));
    QTest::newRow("PanelTypeIndex") << "PanelTypeIndex" << QVariant(qint32(2));
    QTest::newRow("LonDeviceName") << "LonDeviceName" << QVariant(QStringLiteral("LON1"));
    QTest::newRow("TempsInF") << "TempsInF" << QVariant(true);
    QTest::newRow("Dom1ID") << "Dom1ID" << QVariant(QStringLiteral("0a:0b:0c"));
    QTest::newRow("Dom0Node") << "Dom0Node" << QVariant::fromValue(quint8(127));
    QTest::newRow("Dom1Subnet") << "Dom1Subnet" << QVariant::fromValue(quint8(255));
}

void TestTypeSite::readWriteByName()
{
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    TSite site;
    QVERIFY(site.setProperty(name.toLatin1(), value));
    QCOMPARE(site.property(name.toLatin1()), value);
    if (name == u"Dom0Node")
        QCOMPARE(site.Dom0Node, quint8(127));
    if (name == u"UpdateRate")
        QCOMPARE(site.UpdateRate, -5);
}

void TestTypeSite::serverIndexIsNoProperty()
{
    TSite site;
    QCOMPARE(site.metaObject()->indexOfProperty("ServerIndex"), -1);
    QVERIFY(!site.property("ServerIndex").isValid());
}

void TestTypeSite::assignFromCopiesAllButDirectConnect()
{
    TSite source;
    FillAll(source, true);
    TSite target;
    target.AssignFrom(&source);
    for (const QString &name : kPublished) {
        if (name == u"DirectConnect")
            continue;
        QCOMPARE(target.property(name.toLatin1()), source.property(name.toLatin1()));
    }
    QCOMPARE(target.ServerIndex, 42);
    QCOMPARE(target.DirectConnect, false);

    TSite keeps;
    keeps.DirectConnect = true;
    TSite plain;
    keeps.AssignFrom(&plain);
    QCOMPARE(keeps.DirectConnect, true);
}

void TestTypeSite::assignFromOtherClass()
{
    TSite target;
    FillAll(target, false);
    QObject other;
    other.setProperty("Description", QStringLiteral("intruder"));
    target.AssignFrom(&other);
    QCOMPARE(target.Description, QStringLiteral("Plant A"));
    QCOMPARE(target.ServerIndex, 42);
}

void TestTypeSite::assignFromSelfOrNull()
{
    TSite target;
    FillAll(target, true);
    target.AssignFrom(nullptr);
    target.AssignFrom(&target);
    QCOMPARE(target.Description, QStringLiteral("Plant A"));
    QCOMPARE(target.DirectConnect, true);
}

QTEST_GUILESS_MAIN(TestTypeSite)
#include "tst_typesite.moc"
