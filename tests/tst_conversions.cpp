#include "model/conversions.h"

#include <QtTest>

class TestConversions : public QObject
{
    Q_OBJECT

private slots:
    void dateTime_data();
    void dateTime();
    void latitude_data();
    void latitude();
    void longitude_data();
    void longitude();
    void recordFields();
};

void TestConversions::dateTime_data()
{
    QTest::addColumn<quint32>("date");
    QTest::addColumn<quint32>("time");
    QTest::addColumn<quint32>("epoch");

    // Expected values computed independently (calendar.timegm).
    QTest::newRow("5 March 2010 13:07:45") << 50310u << 130745u << 1267794465u;
    QTest::newRow("last second of 2099") << 311299u << 235959u << 4102444799u;
    QTest::newRow("year 2070 is 2000 + yy") << 10170u << 0u << 3155760000u;
    QTest::newRow("first day of 2000") << 10100u << 0u << 946684800u;
    QTest::newRow("leap day 2000") << 290200u << 0u << 951782400u;
    QTest::newRow("leap day 2024 noon") << 290224u << 120000u << 1709208000u;
    QTest::newRow("day 0") << 0u << 0u << InvalidEpoch;
    QTest::newRow("month 0") << 10009u << 0u << InvalidEpoch;
    QTest::newRow("month 13") << 11309u << 0u << InvalidEpoch;
    QTest::newRow("29 Feb of a common year") << 290201u << 0u << InvalidEpoch;
    QTest::newRow("31 April") << 310410u << 0u << InvalidEpoch;
    QTest::newRow("hour 24") << 50310u << 240000u << InvalidEpoch;
    QTest::newRow("minute 60") << 50310u << 126000u << InvalidEpoch;
    QTest::newRow("second 60") << 50310u << 125960u << InvalidEpoch;
    QTest::newRow("erased record") << 0xFFFFFFFFu << 0xFFFFFFFFu << InvalidEpoch;
}

void TestConversions::dateTime()
{
    QFETCH(quint32, date);
    QFETCH(quint32, time);
    QFETCH(quint32, epoch);
    QCOMPARE(packedDateTimeToEpoch(date, time), epoch);
}

void TestConversions::latitude_data()
{
    QTest::addColumn<qint32>("packed");
    QTest::addColumn<double>("degrees");
    QTest::addColumn<int>("marked");

    QTest::newRow("47 36.1234 N") << 47361234 << 47.60205666666667 << 0;
    QTest::newRow("mark flag") << 147361234 << 47.60205666666667 << 1;
    QTest::newRow("just below the flag") << 99595999 << 99.99333166666666 << 0;
    QTest::newRow("flag on the equator") << 100000000 << 0.0 << 1;
    QTest::newRow("southern never flagged") << -47361234 << -47.60205666666667 << 0;
    QTest::newRow("far south not flagged") << -147361234 << -147.60205666666667 << 0;
    QTest::newRow("zero") << 0 << 0.0 << 0;
}

void TestConversions::latitude()
{
    QFETCH(qint32, packed);
    QFETCH(double, degrees);
    QFETCH(int, marked);
    qint32 flag = -1;
    QCOMPARE(packedLatitudeToDegrees(packed, &flag), degrees);
    QCOMPARE(flag, marked);
}

void TestConversions::longitude_data()
{
    QTest::addColumn<qint32>("packed");
    QTest::addColumn<double>("degrees");

    QTest::newRow("122 33.5 W") << -122335000 << -122.55833333333334;
    QTest::newRow("largest") << 179599999 << 179.99999833333334;
    QTest::newRow("fraction only, negative") << -1 << -1.6666666666666667e-06;
    // Longitude carries no mark flag: 147 degrees stay 147.
    QTest::newRow("no flag") << 147361234 << 147.60205666666667;
}

void TestConversions::longitude()
{
    QFETCH(qint32, packed);
    QFETCH(double, degrees);
    QCOMPARE(packedLongitudeToDegrees(packed), degrees);
}

void TestConversions::recordFields()
{
    DeviceTrackPoint record;
    record.latitude = 147361234;
    record.longitude = -122335000;
    record.time = 130745;
    record.date = 50310;
    record.speed = 3600;
    record.altitude = -125000;
    record.field6 = 99;
    record.field7 = 0xDEADBEEF;
    const TrackPoint point = trackPointFromRecord(record);
    QCOMPARE(point.position.x, 47.60205666666667);
    QCOMPARE(point.position.y, -122.55833333333334);
    QCOMPARE(point.position.z, -12.5);
    QCOMPARE(point.marked, 1);
    QCOMPARE(point.time, 1267794465u);
    QCOMPARE(point.speed, 3600u);
    QCOMPARE(point.field7, 0xDEADBEEFu);

    DeviceTrackPointShort shortRecord;
    shortRecord.latitude = 47361234;
    shortRecord.longitude = 1;
    shortRecord.time = 130745;
    shortRecord.date = 50310;
    shortRecord.speed = 7;
    const TrackPoint shortPoint = trackPointFromRecord(shortRecord);
    QCOMPARE(shortPoint.position.z, 0.0);
    QCOMPARE(shortPoint.marked, 0);
    QCOMPARE(shortPoint.field7, 0u);
    QCOMPARE(shortPoint.speed, 7u);
}

QTEST_APPLESS_MAIN(TestConversions)
#include "tst_conversions.moc"
