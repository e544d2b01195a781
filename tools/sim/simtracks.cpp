// Believable tracks for the simulated logger, in the logger's packed form.
#include "tools/sim/loggersimulator.h"

#include <QDateTime>

#include <cmath>

namespace {
// A small deterministic generator, so a seed always gives the same path.
class Lcg
{
public:
    explicit Lcg(quint32 seed) : state(seed * 2654435761u + 12345u) {}
    double next() // in [0, 1)
    {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / double(1 << 24);
    }

private:
    quint32 state;
};

} // namespace

qint32 LoggerSimulator::packCoordinate(double degrees)
{
    const double a = std::fabs(degrees);
    qint32 d = qint32(a);
    const double minutes = (a - d) * 60.0;
    qint32 m = qint32(minutes);
    qint32 f = qint32(std::lround((minutes - m) * 10000.0));
    if (f >= 10000) {
        f -= 10000;
        if (++m >= 60) {
            m -= 60;
            ++d;
        }
    }
    const qint32 packed = d * 1000000 + m * 10000 + f;
    return degrees < 0 ? -packed : packed;
}

void LoggerSimulator::packDateTime(quint32 epoch, quint32 *date, quint32 *time)
{
    const QDateTime t = QDateTime::fromSecsSinceEpoch(qint64(epoch), Qt::UTC);
    *date = quint32(t.date().day() * 10000 + t.date().month() * 100 + t.date().year() % 100);
    *time = quint32(t.time().hour() * 10000 + t.time().minute() * 100 + t.time().second());
}

SimulatedTrack LoggerSimulator::makeTrack(int format, int pointCount, quint32 seed,
                                          quint32 startTime)
{
    SimulatedTrack track;
    track.format = format;
    Lcg random(seed);
    double lat = 47.3 + 0.2 * random.next();
    double lon = 8.4 + 0.3 * random.next();
    double heading = 6.2831853 * random.next();
    double altitude = 400 + 200 * random.next();
    double speedKmh = 20 + 30 * random.next();
    for (int i = 0; i < pointCount; ++i) {
        DeviceTrackPoint p;
        p.latitude = packCoordinate(lat) + (i % 40 == 39 ? 100000000 : 0);
        p.longitude = packCoordinate(lon);
        packDateTime(startTime + 5u * quint32(i), &p.date, &p.time);
        p.speed = quint32(std::lround(speedKmh * 100));
        p.altitude = format == 2 ? qint32(std::lround(altitude * 10000)) : 0;
        p.field6 = 0;
        p.field7 = format == 2 ? quint32(i % 7) : 0;
        track.points.append(p);

        // Drift on: gentle turns, speed and climb changes, 5 s a step.
        heading += (random.next() - 0.5) * 0.4;
        speedKmh = qBound(0.0, speedKmh + (random.next() - 0.5) * 6, 90.0);
        altitude += (random.next() - 0.5) * 3;
        const double km = speedKmh * 5 / 3600.0;
        lat += km * std::cos(heading) / 111.32;
        lon += km * std::sin(heading) / (111.32 * std::cos(lat * 3.14159265 / 180));
    }
    return track;
}
