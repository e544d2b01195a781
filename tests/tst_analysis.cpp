#include "analysis/tripstats.h"
#include "fixtures.h"

#include <QtTest>

using namespace TripAnalysis;

namespace {
const quint32 T0 = 1239437700;

// A track due north along the meridian at `step` degrees per point.
Track northward(int format, const QVector<quint32> &speeds, double step = 0.001,
                const QVector<double> &altitudes = {})
{
    Track t{T0, format, {}};
    for (int i = 0; i < speeds.size(); ++i)
        t.points.append(
            point(i * step, 0.0, altitudes.value(i), T0 + 10 * quint32(i), speeds[i], i % 4 == 0));
    return t;
}
} // namespace

class TestAnalysis : public QObject
{
    Q_OBJECT
private slots:

    void figures_data()
    {
        QTest::addColumn<Track>("track");
        QTest::addColumn<QList<qint64>>("counts"); // points, marks, duration, moving time
        QTest::addColumn<double>("distance");
        QTest::addColumn<double>("movingDistance");

        // 1 degree of meridian from the equator on WGS84.
        QTest::newRow("meridian degree") << northward(1, {500, 500}, 1.0)
                                         << QList<qint64>{2, 1, 10, 10} << 110574.389 << 110574.389;
        // Intervals ending on 0.99 km/h or a stop are not moving; 1.00 km/h is.
        Track stop = northward(1, {0, 100, 99, 0, 0, 0, 800});
        QTest::newRow("stop") << stop << QList<qint64>{7, 2, 60, 20} << 6 * 110.5743
                              << 2 * 110.5743;
        // Time 0 counts as a point, not in time; its length still counts.
        Track zero = northward(1, {800, 800, 800, 800});
        zero.points[0].time = 0;
        zero.points[2].time = 0;
        QTest::newRow("time 0 skipped")
            << zero << QList<qint64>{4, 1, 20, 20} << 3 * 110.5743 << 2 * 110.5743;
        QTest::newRow("empty") << Track{T0, 2, {}} << QList<qint64>{0, 0, 0, 0} << 0.0 << 0.0;
    }

    void figures()
    {
        QFETCH(Track, track);
        QFETCH(QList<qint64>, counts);
        QFETCH(double, distance);
        QFETCH(double, movingDistance);
        const TripStats s = trackStats(track);
        QCOMPARE((QList<qint64>{s.points, s.marks, s.durationS, s.movingTimeS}), counts);
        QVERIFY2(qAbs(s.distanceM - distance) < 0.01,
                 qPrintable(QString::number(s.distanceM, 'f', 4)));
        QVERIFY(qAbs(s.movingDistanceM - movingDistance) < 0.01);
        QCOMPARE(s.hasAltitude, false); // log format 1 (or no points): no altitude figures
        if (s.movingTimeS > 0)
            QCOMPARE(s.avgMovingSpeedKmh(), s.movingDistanceM / double(s.movingTimeS) * 3.6);
    }

    void climbIgnoresNoise()
    {
        // 300 m up with +-1 m noise, then 100 m down: about 300 m up and 100 m down, not
        // the sum of the wiggles; the top and bottom are the noisy extremes.
        QVector<double> z;
        for (int i = 0; i <= 300; ++i)
            z << 1000 + i + (i % 2 ? 1.0 : -1.0);
        for (int i = 1; i <= 100; ++i)
            z << 1300 - i + (i % 2 ? 1.0 : -1.0);
        const TripStats s = trackStats(northward(2, QVector<quint32>(z.size(), 500), 0.0001, z));
        QVERIFY(s.hasAltitude);
        QVERIFY2(s.ascentM >= 299 && s.ascentM <= 302, qPrintable(QString::number(s.ascentM)));
        QVERIFY2(s.descentM >= 99 && s.descentM <= 102, qPrintable(QString::number(s.descentM)));
        QCOMPARE(s.minAltitudeM, 999.0);
        QCOMPARE(s.maxAltitudeM, 1300.0);
        // A 4 m wiggle on flat ground is no climb at all.
        const TripStats flat =
            trackStats(northward(2, {500, 500, 500, 500}, 0.001, {50, 54, 50, 54}));
        QCOMPARE(flat.ascentM + flat.descentM, 0.0);
    }

    void totalsAndTexts()
    {
        const TripStats a = trackStats(northward(1, {0, 500, 900}));
        const TripStats b = trackStats(northward(2, {500, 500}, 0.001, {10, 30}));
        const TripStats t = combined({a, b});
        QCOMPARE((QList<qint64>{t.points, t.marks, t.durationS, t.movingTimeS}),
                 (QList<qint64>{5, 2, 30, 30}));
        QCOMPARE(t.maxSpeedKmh, 9.0);
        QVERIFY(t.hasAltitude); // from the track that has it, untouched by the other
        QCOMPARE((QList<double>{t.minAltitudeM, t.maxAltitudeM, t.ascentM}),
                 (QList<double>{10, 30, 20}));
        QCOMPARE(t.distanceM, a.distanceM + b.distanceM);
        // A long track is measured on several threads: its pieces still add up to the arc.
        const Track longOne = northward(1, QVector<quint32>(30001, 500), 0.0001);
        const std::vector<double> along = cumulativeDistances(longOne.points);
        QCOMPARE(along.size(), size_t(30001));
        QVERIFY(qAbs(along.back() - geodesicLength(longOne.points.first().position,
                                                   longOne.points.last().position)) < 1e-6);
        QCOMPARE(trackStats(longOne).distanceM, along.back());

        QCOMPARE(distanceText(16093.44, SpeedUnit::Mph), QStringLiteral("10.00 mi"));
        QCOMPARE(distanceText(1234.5, SpeedUnit::Kmh), QStringLiteral("1.23 km"));
        QCOMPARE(speedText(16.09344, SpeedUnit::Mph), QStringLiteral("10.0 mph"));
        QCOMPARE(heightText(100, HeightUnit::Feet), QStringLiteral("328 ft"));
        QCOMPARE(durationText(3 * 3600 + 5 * 60 + 7), QStringLiteral("3:05:07"));
    }
};

QTEST_GUILESS_MAIN(TestAnalysis)
#include "tst_analysis.moc"
