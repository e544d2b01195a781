#include "analysis/colourvalues.h"
#include "analysis/pieces.h"
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
// A walk made up in the test, with its true figures. Points every 1/hz s along a gently
// turning path at `kmh`, the altitude of a hilly profile, and the noise asked for.
struct Walk
{
    double seconds = 3600, hz = 1, kmh = 5;
    double hills = 0;                  // metres of the profile's main wave; 0: flat
    double altitudeNoise = 0, tau = 0; // sigma in metres; correlated over tau s, 0: white
    double positionNoise = 0;          // sigma in metres, each axis
    int stops = 0;                     // five-minute stops, spread evenly
    double gapAt = -1, gapS = 0;       // the logger off for gapS from time gapAt
    bool newSegment = false;           // ... and a new segment after it, 15 km away
    bool logged = false;               // the logger's own speeds, or worked out

    double trueAscent = 0, trueDescent = 0, trueMovingS = 0, trueDistance = 0;
    Track make();
};

Track Walk::make()
{
    QRandomGenerator random(7);
    const auto gauss = [&random] { // Box-Muller: the same numbers on every platform
        return std::sqrt(-2 * std::log(1 - random.generateDouble())) *
               std::cos(2 * M_PI * random.generateDouble());
    };
    const auto profile = [this](double t) {
        return 800 + hills * (std::sin(t / 573) + 0.3 * std::sin(t / 207 + 1) +
                              0.1 * std::sin(t / 80 + 2) + 0.03 * std::sin(t / 32 + 3));
    };
    Track track{T0, 2, {}};
    double lat = 47, lon = 11, z = 0, noise = 0, lastZ = profile(0);
    Vec3 last(lat, lon, 0);
    const double stopEvery = seconds / (stops + 1);
    for (long k = 0; k / hz <= seconds; ++k) {
        const double t = k / hz;
        if (t >= gapAt && t < gapAt + gapS)
            continue;
        const bool stopped = t < stops * stopEvery && std::fmod(t, stopEvery) > stopEvery - 300;
        const bool resumes = gapAt >= 0 && t >= gapAt + gapS && t - 1 / hz < gapAt + gapS;
        const double metres = resumes ? (newSegment ? 15000 : 3000) : stopped ? 0 : kmh / 3.6 / hz;
        const double heading = 0.5 * std::sin(t / 900);
        lat += metres * std::cos(heading) / 111200;
        lon += metres * std::sin(heading) / (111200 * std::cos(lat * M_PI / 180));
        const double a = tau > 0 ? std::exp(-1 / (hz * tau)) : 0;
        noise = a * noise + std::sqrt(1 - a * a) * altitudeNoise * gauss();
        z = profile(t);
        TrackPoint p = point(lat + positionNoise * gauss() / 111200,
                             lon + positionNoise * gauss() / (111200 * 0.68), z + noise,
                             T0 + quint32(t), logged ? quint32(kmh * 100) * !stopped : 0);
        p.millis = quint16(std::lround((t - std::floor(t)) * 1000));
        p.flags = logged ? 0 : TrackPoint::NoSpeed;
        if (resumes && newSegment) {
            p.flags |= TrackPoint::SegmentStart;
        } else if (!track.points.isEmpty()) {
            trueMovingS += !stopped && !resumes ? 1 / hz : 0;
            trueDistance += resumes ? 0 : geodesicLength(last, Vec3(lat, lon, 0));
            (z > lastZ ? trueAscent : trueDescent) += std::fabs(z - lastZ);
        }
        last = Vec3(lat, lon, 0);
        lastZ = z;
        track.points.append(p);
    }
    workOutSpeeds(track);
    return track;
}
} // namespace
Q_DECLARE_METATYPE(Walk)

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
        zero.points[0].time = 0, zero.points[0].flags = TrackPoint::NoTime;
        zero.points[2].time = 0, zero.points[2].flags = TrackPoint::NoTime;
        QTest::newRow("no time skipped")
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

    // Figures against made-up walks whose truth is known. Bounds are fractions of the truth
    // (or km/h for the speeds); NaN where a row does not check a figure.
    void noisyLogs_data()
    {
        QTest::addColumn<Walk>("walk");
        QTest::addColumn<double>("climbOff");
        QTest::addColumn<double>("movingOff");
        // Top and moving average speed, lowest and highest of each, as parts of the walk's speed:
        // exact on clean tracks, inflated by position noise only as far as measured.
        QTest::addColumn<QList<double>>("speeds");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const QList<double> exact{0.99, 1.01, 0.99, 1.01};
        Walk hilly;
        hilly.seconds = 4 * 3600;
        hilly.kmh = 4;
        hilly.hills = 250;
        QTest::newRow("hilly, clean") << hilly << 0.03 << 0.01 << exact;
        Walk logged = hilly;
        logged.logged = true;
        logged.hz = 0.2;
        QTest::newRow("hilly, logger's speeds every 5 s") << logged << 0.01 << 0.001 << exact;
        Walk correlated = hilly;
        correlated.altitudeNoise = 5;
        correlated.tau = 30;
        QTest::newRow("hilly, noise 5 m over 30 s") << correlated << 0.08 << 0.01 << exact;
        Walk white = hilly;
        white.altitudeNoise = 2;
        white.positionNoise = 3;
        QTest::newRow("hilly, white noise 2 m, positions 3 m")
            << white << 0.08 << 0.05 << QList<double>{1, 3, 1, 5.5};
        Walk stops;
        stops.seconds = 3000 + 5 * 300;
        stops.stops = 5;
        stops.positionNoise = 1;
        QTest::newRow("five stops, 1 m jitter")
            << stops << nan << 0.05 << QList<double>{1, 1.5, 1, 1.7};
        Walk segments;
        segments.seconds = 1200 + 3 * 3600;
        segments.gapAt = 600;
        segments.gapS = 3 * 3600;
        segments.newSegment = true;
        QTest::newRow("segments 3 h apart") << segments << nan << 0.01 << exact;
        Walk off = segments;
        off.seconds = 1200 + 3600;
        off.gapS = 3600;
        off.newSegment = false;
        QTest::newRow("logger off for an hour") << off << nan << 0.01 << exact;
        Walk fast;
        fast.seconds = 600;
        fast.hz = 5;
        fast.kmh = 50;
        fast.positionNoise = 0.5;
        QTest::newRow("5 Hz at 50 km/h")
            << fast << nan << 0.01 << QList<double>{0.95, 1.1, 0.95, 1.1};
    }

    void noisyLogs()
    {
        QFETCH(Walk, walk);
        QFETCH(double, climbOff);
        QFETCH(double, movingOff);
        QFETCH(QList<double>, speeds);
        const Track track = walk.make();
        const TripStats s = trackStats(track);
        const auto off = [](double v, double truth) { return std::fabs(v / truth - 1); };
        const QString got = QStringLiteral("ascent %1/%2 descent %3/%4 moving %5/%6 distance "
                                           "%7/%8 top %9 average %10")
                                .arg(s.ascentM)
                                .arg(walk.trueAscent)
                                .arg(s.descentM)
                                .arg(walk.trueDescent)
                                .arg(s.movingTimeS)
                                .arg(walk.trueMovingS)
                                .arg(s.distanceM)
                                .arg(walk.trueDistance)
                                .arg(s.maxSpeedKmh)
                                .arg(s.avgMovingSpeedKmh());
        if (!std::isnan(climbOff)) {
            QVERIFY2(off(s.ascentM, walk.trueAscent) <= climbOff, qPrintable(got));
            QVERIFY2(off(s.descentM, walk.trueDescent) <= climbOff, qPrintable(got));
        }
        QVERIFY2(off(s.movingTimeS, walk.trueMovingS) <= movingOff, qPrintable(got));
        if (walk.positionNoise == 0) // the path itself, nothing across a segment break
            QVERIFY2(off(s.distanceM, walk.trueDistance) < 1e-6 || walk.gapS > 0, qPrintable(got));
        if (walk.newSegment)
            QVERIFY2(off(s.distanceM, walk.trueDistance) < 1e-6, qPrintable(got));
        const double top = s.maxSpeedKmh / walk.kmh, average = s.avgMovingSpeedKmh() / walk.kmh;
        QVERIFY2(top >= speeds[0] && top <= speeds[1], qPrintable(got));
        QVERIFY2(average >= speeds[2] && average <= speeds[3], qPrintable(got));
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

    // What a line is coloured by, point by point ("-" where a point has no value).
    void colourValues_data()
    {
        QTest::addColumn<Track>("track");
        QTest::addColumn<int>("by");
        QTest::addColumn<QString>("expected");
        QTest::newRow("speed: a lone spike left out")
            << northward(2, {500, 500, 9000, 500, 600}) << int(ColourBy::Speed)
            << "5.0 5.0 5.0 6.0 6.0";
        Track split = northward(2, {500, 900, 100, 100});
        split.points[2].flags |= TrackPoint::SegmentStart;
        QTest::newRow("speed: neighbours across a segment start do not count")
            << split << int(ColourBy::Speed) << "5.0 9.0 1.0 1.0";
        QTest::newRow("altitude: none in log format 1")
            << northward(1, {0, 0}, 0.001, {400, 410}) << int(ColourBy::Altitude) << "- -";
        QTest::newRow("slope: from 25 m of ground back")
            << northward(2, {0, 0, 0}, 0.001, {100, 111.06, 100}) << int(ColourBy::Slope)
            << "- 10.0 -10.0";
        Track paused = northward(2, {0, 0, 0});
        paused.points[2].time += 1000;
        paused.points[0].flags |= TrackPoint::NoTime;
        QTest::newRow("time: since the first time")
            << paused << int(ColourBy::Time) << "- 0.0 1010.0";
    }

    void colourValues()
    {
        QFETCH(Track, track);
        QFETCH(int, by);
        QStringList texts;
        for (double v : ColourValues::of(track, ColourBy(by)))
            texts << (std::isnan(v) ? QStringLiteral("-") : QString::number(v, 'f', 1));
        QTEST(texts.join(' '), "expected");
    }

    // Laps between marks and splits at whole distances or times share their boundary points,
    // so their distances add up to the track's.
    void pieces_data()
    {
        QTest::addColumn<Track>("track");
        QTest::addColumn<QString>("kind"); // laps, m or s
        QTest::addColumn<double>("every");
        QTest::addColumn<QString>("expected");
        const auto marked = [](int n, QList<int> marks) {
            Track t = northward(2, QVector<quint32>(n, 500));
            for (int i = 0; i < n; ++i)
                t.points[i].marked = marks.contains(i);
            return t;
        };
        QTest::newRow("laps, no marks") << marked(5, {}) << "laps" << 0.0 << "0-4";
        QTest::newRow("laps, one mark") << marked(5, {2}) << "laps" << 0.0 << "0-2 2-4";
        QTest::newRow("laps, a mark on the first point")
            << marked(5, {0, 3}) << "laps" << 0.0 << "0-3 3-4";
        QTest::newRow("splits every 200 m, the last short")
            << marked(6, {}) << "m" << 200.0 << "0-2 2-4 4-5";
        QTest::newRow("splits every minute") << marked(8, {}) << "s" << 60.0 << "0-6 6-7";
    }

    void pieces()
    {
        QFETCH(Track, track);
        QFETCH(QString, kind);
        QFETCH(double, every);
        const QVector<Pieces::Piece> pieces = kind == "laps" ? Pieces::laps(track)
                                              : kind == "m"  ? Pieces::byDistance(track, every)
                                                             : Pieces::byTime(track, every);
        QStringList ranges;
        double distance = 0;
        for (const Pieces::Piece &p : pieces) {
            ranges << QStringLiteral("%1-%2").arg(p.from).arg(p.to);
            distance += Pieces::stats(track, p).distanceM;
        }
        QTEST(ranges.join(' '), "expected");
        QVERIFY(qAbs(distance - trackStats(track).distanceM) < 1e-6);
    }

    void colourRangeAndGaps()
    {
        std::vector<double> values{NAN};
        for (int i = 0; i < 100; ++i)
            values.push_back(i);
        const auto range = ColourValues::range({&values});
        QVERIFY(range && range->first == 2 && range->second == 97);
        const std::vector<double> none{NAN};
        QVERIFY(!ColourValues::range({&none}));
        Track t = northward(2, {0, 0, 0, 0});
        t.points[2].flags |= TrackPoint::SegmentStart;
        t.points[3].time += 601; // a pause
        QCOMPARE(ColourValues::breaks(t), (std::vector<int>{2, 3}));
        QCOMPARE(ColourValues::fromKey(ColourValues::key(ColourBy::Slope)), ColourBy::Slope);
        QCOMPARE(ColourValues::fromKey(QStringLiteral("rainbow")), ColourBy::Track);
    }
};

QTEST_GUILESS_MAIN(TestAnalysis)
#include "tst_analysis.moc"
