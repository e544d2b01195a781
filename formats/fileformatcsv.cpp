#include "formats/fileformatcsv.h"
#include "formats/filetarget.h"

#include "formats/fixedtext.h"
#include "formats/timetext.h"

#include <QCoreApplication>
#include <QSaveFile>

#include <algorithm>

FileFormatCSV::FileFormatCSV(const DisplayUnits *units) : units(units) {}

void FileFormatCSV::appendRow(QByteArray &out, const TrackPoint &point, bool altitude,
                              TimeText &time) const
{
    // What a point lacks is an empty cell.
    if (point.hasTime()) {
        time.appendDate(out, point.time);
        out += ',';
        time.appendTime(out, point.time);
        if (point.millis != 0) // a fraction the file had: kept
            out += '.' + QByteArray::number(point.millis).rightJustified(3, '0');
    } else {
        out += ',';
    }
    out += ',';
    out += fixedBytes(point.position.x, 6);
    out += ',';
    out += fixedBytes(point.position.y, 6);
    out += ',';
    if (altitude && point.hasAltitude())
        out += fixedBytes(units->heightUnit() == HeightUnit::Metres
                              ? point.position.z
                              : double(float(point.position.z) * Units::FeetPerMetreSingle),
                          2);
    out += ',';
    if (point.hasSpeed() && !(point.flags & TrackPoint::SpeedComputed)) { // measured only
        double speed = double(point.speed) / 100;
        if (units->speedUnit() != SpeedUnit::Kmh)
            speed /= double(Units::KmPerMileSingle);
        out += fixedBytes(speed, 2);
    }
}

QByteArray FileFormatCSV::header(bool marks, bool names, bool sensors) const
{
    QByteArray out = units->timeShown() == TimeShown::Utc
                         ? "Date, Time (UTC), Latitude, Longitude"
                         : "Date, Time (local), Latitude, Longitude";
    out += units->heightUnit() == HeightUnit::Metres ? ", Altitude (m)" : ", Altitude (feet)";
    out += units->speedUnit() == SpeedUnit::Kmh ? ", Speed (km/hr)" : ", Speed (mi/hr)";
    out += sensors ? ", Heart rate (bpm), Cadence (rpm), Temperature (C), Power (W)" : "";
    out += marks ? ", Mark" : "";
    out += names ? ", Name\n" : "\n";
    return out;
}

void FileFormatCSV::appendOptional(QByteArray &out, const TrackPoint &point, bool sensors,
                                   bool marks, const QByteArray *name)
{
    if (sensors)
        appendSensors(out, point);
    if (marks)
        out += point.marked ? ",1" : ",";
    if (name)
        out += ',' + *name;
    out += '\n';
}

void FileFormatCSV::appendSensors(QByteArray &out, const TrackPoint &point)
{
    // An empty cell where the point has no such value.
    for (int k = 0, v = 0; k < 4; ++k) {
        out += ',';
        if (point.sensor(k, &v))
            out += QByteArray::number(v);
    }
}

bool FileFormatCSV::write(const QVector<Track> &tracks, const QString &fileName,
                          const QList<int> &selection, const WriteOptions &options)
{
    if (!checkSelection(tracks, selection))
        return false;
    QSaveFile file(fileName);
    QString why;
    if (!FileTarget::open(file, QIODevice::WriteOnly | QIODevice::Text, &why))
        return fail(
            QCoreApplication::translate("FileFormat", "Cannot write %1: %2").arg(fileName, why));

    // A Name column only where a track has a name: the logger's exports stay as they were.
    const bool names = std::any_of(selection.begin(), selection.end(),
                                   [&](int i) { return !tracks.at(i).name.isEmpty(); });
    // Sensor columns likewise, only where a point of another device has a value.
    const bool sensors = anySensors(tracks, selection);
    QByteArray out = header(options.marksAsWaypoints, names, sensors);
    TimeText time(units->timeShown() != TimeShown::Utc);
    for (int index : selection) {
        const Track &track = tracks.at(index);
        // Quoted as RFC 4180 says; line breaks kept inside the quotes.
        const QByteArray name = '"' + track.name.toUtf8().replace('"', "\"\"") + '"';
        for (const TrackPoint &point : track.points) {
            if (options.markedOnly && point.marked == 0)
                continue;
            appendRow(out, point, track.hasAltitudes(), time);
            appendOptional(out, point, sensors, options.marksAsWaypoints, names ? &name : nullptr);
            if (out.size() > 65536) {
                file.write(out);
                out.clear();
            }
        }
    }
    file.write(out);
    if (!FileTarget::commit(file, &why))
        return fail(
            QCoreApplication::translate("FileFormat", "Cannot write %1: %2").arg(fileName, why));
    error.clear();
    return true;
}

QString FileFormatCSV::keeps() const
{
    return QCoreApplication::translate(
        "FileFormat", "CSV keeps times (with fractions), altitudes, speeds, marks (a Mark "
                      "column, on request), names (a Name column), heart rate, cadence, "
                      "temperature and power; no segments or descriptions.");
}
