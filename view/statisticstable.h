#ifndef STATISTICSTABLE_H
#define STATISTICSTABLE_H

#include "analysis/tripstats.h"
#include "model/units.h"

#include <QTableWidget>

// The figures of the ticked tracks, one row each, and their total.
class StatisticsTable : public QTableWidget
{
    Q_OBJECT

public:
    explicit StatisticsTable(QWidget *parent = nullptr);

    // `labels` name the rows of `stats`; the total follows when there is more than one.
    void showStats(const QStringList &labels, const QVector<TripStats> &stats,
                   const DisplayUnits &units);
};

#endif // STATISTICSTABLE_H
