#ifndef FIXTURES_H
#define FIXTURES_H

#include "model/trackrecords.h"

// 2009-04-11 08:15:00 UTC: when the simulated logger's and the sample file's first track starts.
const quint32 Start2009 = 1239437700;

// A point as the tests write them: position, time, speed (0.01 km/h) and mark.
inline TrackPoint point(double lat, double lon, double alt, quint32 time, quint32 speed = 0,
                        int marked = 0)
{
    TrackPoint p;
    p.position = Vec3(lat, lon, alt);
    p.time = time;
    p.speed = speed;
    p.marked = marked;
    return p;
}

#endif // FIXTURES_H
