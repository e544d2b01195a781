#include "model/trackrecords.h"

void registerTrackRecordTypes()
{
    qRegisterMetaType<TrackFileHeader>("TrackFileHeader");
    qRegisterMetaType<QVector<TrackFileHeader>>("QVector<TrackFileHeader>");
}
