#ifndef POINTLISTMODEL_H
#define POINTLISTMODEL_H

#include "model/trackrecords.h"

#include <QAbstractTableModel>
#include <QStringList>

class DisplayUnits;

// The point list: one row per point of the list, its texts made only when a
// row is shown, so even a track of hundreds of thousands of points fills,
// changes unit or filter at once.
class PointListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit PointListModel(const DisplayUnits *units, QObject *parent = nullptr);

    // Replaces the rows. The columns follow the log format (1 or 2); for any
    // other format they stay as they were and only the first five are filled.
    // `numbers`: each row's point number in its track (from 1); empty: the row's own.
    void setPoints(const QVector<TrackPoint> &points, int format, const QVector<int> &numbers = {});
    void clear();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    // The text of a sensor column (heart rate, cadence, temperature, power).
    QVariant sensorText(const TrackPoint &p, int column) const;

    const DisplayUnits *units;
    QVector<int> sensorColumns; // after the format's columns: 0 heart rate ... 3 power
    QVector<TrackPoint> points;
    QVector<int> numbers; // a filtered list keeps its points' own numbers

public:
    // The index in its track of the point at `row`.
    int pointIndex(int row) const { return numbers.isEmpty() ? row : numbers.value(row) - 1; }
    int format = 0;
    QStringList headers{QString()};
};

#endif // POINTLISTMODEL_H
