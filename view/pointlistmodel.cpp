#include "view/pointlistmodel.h"

#include "model/units.h"
#include "view/pointformat.h"

PointListModel::PointListModel(const DisplayUnits *units, QObject *parent)
    : QAbstractTableModel(parent), units(units)
{}

void PointListModel::setPoints(const QVector<TrackPoint> &newPoints, int newFormat,
                               const QVector<int> &newNumbers)
{
    beginResetModel();
    points = newPoints;
    numbers = newNumbers;
    format = newFormat;
    if (format == 1)
        headers = QStringList{"Record Number", "Date", "Time", "Latitude", "Longitude", "Speed"};
    else if (format == 2)
        headers = QStringList{"Record Number", "Date",     "Time", "Latitude",
                              "Longitude",     "Altitude", "Speed"};
    else // the columns stay, without the last list's sensor columns
        headers = headers.mid(0, headers.size() - sensorColumns.size());
    // Another device's values, each a column after the others where a point has it.
    bool has[4] = {};
    for (const TrackPoint &p : points) {
        has[0] |= p.heartRate != TrackPoint::NoHeartRate;
        has[1] |= p.cadence != TrackPoint::NoCadence;
        has[2] |= p.temperature != TrackPoint::NoTemperature;
        has[3] |= p.power != TrackPoint::NoPower;
    }
    const char *names[4] = {"Heart rate (bpm)", "Cadence (rpm)", "Temperature (°C)", "Power (W)"};
    sensorColumns.clear();
    for (int k = 0; k < 4; ++k)
        if (has[k]) {
            sensorColumns << k;
            headers << tr(names[k]);
        }
    endResetModel();
}

void PointListModel::clear()
{
    beginResetModel();
    points.clear();
    endResetModel();
}

int PointListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(points.size());
}

int PointListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(headers.size());
}

QVariant PointListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= headers.size())
        return QVariant();
    return headers.at(section);
}

Qt::ItemFlags PointListModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

QVariant PointListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= points.size())
        return QVariant();
    const TrackPoint &p = points.at(index.row());
    const TimeShown shown = units->timeShown();
    switch (index.column()) {
    case 0:
        return QString::number(numbers.isEmpty() ? index.row() + 1 : numbers.value(index.row())) +
               (p.marked ? QStringLiteral("*") : QString());
    // What a point lacks is an empty cell.
    case 1:
        if (!p.hasTime())
            return QVariant();
        return PointFormat::pointDateTime(p.time, shown).toString(QStringLiteral("yyyy-MM-dd"));
    case 2:
        if (!p.hasTime())
            return QVariant();
        return PointFormat::pointDateTime(p.time, shown).toString(QStringLiteral("hh:mm:ss"));
    case 3:
        return PointFormat::formatDegrees(float(p.position.x), PointFormat::Latitude);
    case 4:
        return PointFormat::formatDegrees(float(p.position.y), PointFormat::Longitude);
    case 5:
        if (format == 1 && p.hasSpeed())
            return PointFormat::speedText(p.speed, units->speedUnit());
        if (formatHasAltitudes(format) && p.hasAltitude())
            return PointFormat::altitudeText(p.position.z, units->heightUnit());
        return QVariant();
    case 6:
        if (formatHasAltitudes(format) && p.hasSpeed())
            return PointFormat::speedText(p.speed, units->speedUnit());
        return QVariant();
    default:
        return sensorText(p, index.column());
    }
}

QVariant PointListModel::sensorText(const TrackPoint &p, int column) const
{
    const int k = column - (int(headers.size()) - int(sensorColumns.size()));
    if (k < 0 || k >= sensorColumns.size())
        return QVariant();
    int v = 0;
    return p.sensor(sensorColumns[k], &v) ? QVariant(v) : QVariant();
}
