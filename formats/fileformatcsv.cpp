#include "formats/fileformatcsv.h"

#include "formats/fixedtext.h"
#include "formats/timetext.h"

#include <QCoreApplication>
#include <QSaveFile>

FileFormatCSV::FileFormatCSV(const DisplayUnits *units) : units(units) {}

void FileFormatCSV::appendRow(QByteArray &out, const TrackPoint &point, bool altitude,
                              TimeText &time) const
{
    time.appendDate(out, point.time);
    out += ',';
    time.appendTime(out, point.time);
    out += ',';
    out += fixedBytes(point.position.x, 6);
    out += ',';
    out += fixedBytes(point.position.y, 6);
    out += ',';
    if (altitude)
        out += fixedBytes(units->heightUnit() == HeightUnit::Metres
                              ? point.position.z
                              : double(float(point.position.z) * Units::FeetPerMetreSingle),
                          2);
    out += ',';
    double speed = double(point.speed) / 100;
    if (units->speedUnit() != SpeedUnit::Kmh)
        speed /= double(Units::KmPerMileSingle);
    out += fixedBytes(speed, 2);
    out += '\n';
}

bool FileFormatCSV::write(const QVector<Track> &tracks, const QString &fileName,
                          const QList<int> &selection, bool markedOnly)
{
    if (!checkSelection(tracks, selection))
        return false;
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return fail(QCoreApplication::translate("FileFormat", "Cannot write %1: %2")
                        .arg(fileName, file.errorString()));

    const bool utc = units->timeShown() == TimeShown::Utc;
    const bool metres = units->heightUnit() == HeightUnit::Metres;
    const bool kmh = units->speedUnit() == SpeedUnit::Kmh;

    QByteArray out;
    out +=
        utc ? "Date, Time (UTC), Latitude, Longitude" : "Date, Time (local), Latitude, Longitude";
    out += metres ? ", Altitude (m)" : ", Altitude (feet)";
    out += kmh ? ", Speed (km/hr)\n" : ", Speed (mi/hr)\n";

    TimeText time(!utc);
    for (int index : selection) {
        const Track &track = tracks.at(index);
        if (track.format != 1 && track.format != 2)
            continue;
        for (const TrackPoint &point : track.points) {
            if (markedOnly && point.marked == 0)
                continue;
            appendRow(out, point, track.format == 2, time);
            if (out.size() > 65536) {
                file.write(out);
                out.clear();
            }
        }
    }
    file.write(out);
    if (!file.commit())
        return fail(QCoreApplication::translate("FileFormat", "Cannot write %1: %2")
                        .arg(fileName, file.errorString()));
    error.clear();
    return true;
}
