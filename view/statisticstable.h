#ifndef STATISTICSTABLE_H
#define STATISTICSTABLE_H

#include "analysis/tripstats.h"
#include "model/units.h"

#include <QTableWidget>

#include <optional>
#include <utility>

// The figures of the ticked tracks, one row each, and their total.
class StatisticsTable : public QTableWidget
{
    Q_OBJECT

public:
    explicit StatisticsTable(QWidget *parent = nullptr);

    // `labels` name the rows of `stats`; the total follows when there is more than one.
    // `extra`, when given, is a last row of its own (a selection), outside the total.
    void showStats(const QStringList &labels, const QVector<TripStats> &stats,
                   const DisplayUnits &units,
                   const std::optional<std::pair<QString, TripStats>> &extra = std::nullopt);

private:
    static constexpr int BaseColumns = 15; // then the sensor figures, where there are any
};

#endif // STATISTICSTABLE_H
