#ifndef SIMTRACKS_H
#define SIMTRACKS_H

#include "fixtures.h"
#include "tools/sim/loggersimulator.h"

#include <QRandomGenerator>

// What the simulated logger holds in most tests: three days' tracks, the middle one in log
// format 1, taking 3 + 3 + 2 blocks.
inline void loadThreeTracks(LoggerSimulator &sim)
{
    sim.setTracks({LoggerSimulator::makeTrack(2, 150, 1, Start2009),
                   LoggerSimulator::makeTrack(1, 230, 2, Start2009 + 86400),
                   LoggerSimulator::makeTrack(2, 90, 3, Start2009 + 2 * 86400)});
}

// The random soak, from the environment: LX300_SOAK_RANDOM_ONLY runs only it, LX300_SOAK_RUNS
// times, with faults drawn from LX300_SOAK_SEED.
struct RandomSoak
{
    const bool only = qEnvironmentVariableIsSet("LX300_SOAK_RANDOM_ONLY");
    const int runs = only ? qEnvironmentVariableIntValue("LX300_SOAK_RUNS") : 0;
    QRandomGenerator random{quint32(qEnvironmentVariableIntValue("LX300_SOAK_SEED") + 20261206)};
};

#endif // SIMTRACKS_H
