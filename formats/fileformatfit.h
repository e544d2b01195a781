#ifndef FILEFORMATFIT_H
#define FILEFORMATFIT_H

#include "formats/fileformat.h"

// Garmin's FIT activity and course files (.fit), read only, from the published protocol: the
// record messages' times, positions, altitudes and speeds (the enhanced fields first), heart
// rate, cadence, power and temperature, a segment for each lap and session, and the activity's
// name. A file whose check sum does not
// match is refused.
class FileFormatFIT : public ReadOnlyFileFormat
{
public:
    FileFormatFIT() : ReadOnlyFileFormat("FIT") {}
    bool read(QVector<Track> &tracks, const QString &fileName) override;
    QString keeps() const override;
};

#endif // FILEFORMATFIT_H
