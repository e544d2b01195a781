#ifndef FILEFORMATNMEA_H
#define FILEFORMATNMEA_H

#include "formats/fileformat.h"

// NMEA 0183 sentence logs (.nmea, .nma, and .log or .txt files that hold sentences), read only:
// RMC, GGA, GLL and VTG of any talker make one point per fix time, with the date from RMC
// (carried across midnight), the altitude from GGA and the speed from RMC or VTG. A sentence
// whose checksum is wrong, and a fix marked invalid, are left out and counted.
class FileFormatNMEA : public ReadOnlyFileFormat
{
public:
    FileFormatNMEA() : ReadOnlyFileFormat("NMEA") {}
    bool read(QVector<Track> &tracks, const QString &fileName) override;
    QString keeps() const override;
};

// IGC flight logs (.igc), read only: the B records' times, positions and GNSS altitudes
// (the pressure altitude where the GNSS one is 0), the date from HFDTE carried across
// midnight, and the pilot and glider as the track's description.
class FileFormatIGC : public ReadOnlyFileFormat
{
public:
    FileFormatIGC() : ReadOnlyFileFormat("IGC") {}
    bool read(QVector<Track> &tracks, const QString &fileName) override;
    QString keeps() const override;
};

#endif // FILEFORMATNMEA_H
