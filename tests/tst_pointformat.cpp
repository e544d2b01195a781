#include "view/pointformat.h"

#include <QtTest>

using namespace PointFormat;

class TestPointFormat : public QObject
{
    Q_OBJECT

public:
    static void initMain() { qputenv("TZ", "XST-8"); }

private slots:
    void degrees_data();
    void degrees();
    void speed_data();
    void speed();
    void altitude_data();
    void altitude();
    void labels();
};

void TestPointFormat::degrees_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("51.4778 N") << 51.4778f << 1 << QString::fromUtf8("51°28'40.0745\" N");
    QTest::newRow("7.1234 E") << 7.1234f << 2 << QString::fromUtf8("7°7'24.2408\" E");
    QTest::newRow("-33.5 S") << -33.5f << 1 << QString::fromUtf8("33°30'0.0000\" S");
    QTest::newRow("-0.25 W") << -0.25f << 2 << QString::fromUtf8("0°15'0.0000\" W");
    QTest::newRow("equator is N") << 0.0f << 1 << QString::fromUtf8("0°0'0.0000\" N");
    QTest::newRow("meridian is E") << 0.0f << 2 << QString::fromUtf8("0°0'0.0000\" E");
    // Single precision: 7.4103, not the exact value's 7.4040.
    QTest::newRow("single precision") << 47.60205666f << 1 << QString::fromUtf8("47°36'7.4103\" N");
    QTest::newRow("other kind") << 1.0f << 3 << QString();
}

void TestPointFormat::degrees()
{
    QFETCH(float, value);
    QFETCH(int, kind);
    QTEST(formatDegrees(value, kind), "text");
}

void TestPointFormat::speed_data()
{
    QTest::addColumn<quint32>("speed");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QString>("text");
    QTest::newRow("km/h") << 1234u << 0 << "12.34 km/hr";
    QTest::newRow("mph") << 1234u << 1 << "7.67 mi/hr";
    QTest::newRow("standing") << 0u << 1 << "0.00 mi/hr";
    QTest::newRow("largest") << 0xFFFFFFFFu << 0 << "42949672.95 km/hr";
}

void TestPointFormat::speed()
{
    QFETCH(quint32, speed);
    QFETCH(int, unit);
    QTEST(speedText(speed, unit), "text");
}

void TestPointFormat::altitude_data()
{
    QTest::addColumn<double>("z");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QString>("text");
    QTest::newRow("metres") << 123.4567 << 0 << "123.46 m";
    QTest::newRow("feet") << 123.4567 << 1 << "405.04 feet";
    QTest::newRow("below sea, metres") << -12.5 << 0 << "-12.50 m";
    QTest::newRow("below sea, feet") << -12.5 << 1 << "-41.01 feet";
}

void TestPointFormat::altitude()
{
    QFETCH(double, z);
    QFETCH(int, unit);
    QTEST(altitudeText(z, unit), "text");
}

void TestPointFormat::labels()
{
    // 2009-04-11 05:45:00 UTC is 13:45:00 eight hours ahead.
    const quint32 t = 1239428700;
    QCOMPARE(trackLabel(t, 0), QStringLiteral("1.2009-04-11 - 13:45:00"));
    QCOMPARE(pointLabel(2, t + 75, 1), QStringLiteral("3.2009-04-11 - 13:46:15"));
    QCOMPARE(pointLabel(2, t + 75, 0), QStringLiteral("3.2009-04-11 - 05:46:15"));
    QCOMPARE(markLabel(1, t, 1, 0), QStringLiteral("2.2009-04-11 - 13:45:00 #0"));
    QCOMPARE(markLabel(1, t, 0, 3), QStringLiteral("2.2009-04-11 - 05:45:00 #3"));
    // Invalid packed dates still give a row text, whatever the date type makes of it.
    QVERIFY(!pointLabel(0, 0xFFFFFFFFu, 0).isEmpty());
}

QTEST_APPLESS_MAIN(TestPointFormat)
#include "tst_pointformat.moc"
