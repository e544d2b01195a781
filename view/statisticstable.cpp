#include "view/statisticstable.h"

#include "view/pointformat.h"

#include <QHeaderView>

#include <algorithm>
#include <functional>

StatisticsTable::StatisticsTable(QWidget *parent) : QTableWidget(parent)
{
    setObjectName(QStringLiteral("statisticsTable"));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setColumnCount(BaseColumns);
    // Two-line headers keep the columns as narrow as their figures.
    setHorizontalHeaderLabels({tr("Track"), tr("Points"), tr("Marks"), tr("Start"), tr("End"),
                               tr("Duration"), tr("Moving\ntime"), tr("Distance"),
                               tr("Average\nspeed"), tr("Moving\naverage"), tr("Maximum\nspeed"),
                               tr("Lowest"), tr("Highest"), tr("Ascent"), tr("Descent")});
    verticalHeader()->hide();
}

void StatisticsTable::showStats(const QStringList &labels, const QVector<TripStats> &stats,
                                const DisplayUnits &units,
                                const std::optional<std::pair<QString, TripStats>> &extra)
{
    using namespace TripAnalysis;
    QVector<TripStats> rows = stats;
    QStringList names = labels;
    if (stats.size() > 1) {
        rows.append(combined(stats));
        names.append(tr("Total"));
    }
    if (extra) {
        rows.append(extra->second);
        names.append(extra->first);
    }
    setRowCount(int(rows.size()));
    // Another device's figures, a column each where a row has them.
    const auto any = [&rows](TripStats::Sensor TripStats::*which) {
        return std::any_of(rows.begin(), rows.end(),
                           [which](const TripStats &s) { return (s.*which).count > 0; });
    };
    struct Extra
    {
        QString header;
        std::function<QString(const TripStats &)> text;
    };
    const auto figure = [](const TripStats::Sensor &v, double value, const QString &unit) {
        return v.count > 0 ? QString::number(value, 'f', 0) + QLatin1Char(' ') + unit
                           : QStringLiteral("-");
    };
    QVector<Extra> extras;
    const auto both = [&](TripStats::Sensor TripStats::*which, const QString &what,
                          const QString &unit) {
        if (!any(which))
            return;
        extras.append({tr("Average\n%1").arg(what), [=](const TripStats &s) {
                           return figure(s.*which, (s.*which).avg(), unit);
                       }});
        extras.append({tr("Maximum\n%1").arg(what),
                       [=](const TripStats &s) { return figure(s.*which, (s.*which).max, unit); }});
    };
    both(&TripStats::heartRate, tr("heart rate"), tr("bpm"));
    both(&TripStats::cadence, tr("cadence"), tr("rpm"));
    both(&TripStats::temperature, tr("temperature"), tr("°C"));
    both(&TripStats::power, tr("power"), tr("W"));
    setColumnCount(BaseColumns + int(extras.size()));
    for (int k = 0; k < extras.size(); ++k)
        setHorizontalHeaderItem(BaseColumns + k, new QTableWidgetItem(extras[k].header));
    const TimeShown shown = units.timeShown();
    const QString zone = shown == TimeShown::Utc ? tr("UTC") : tr("local");
    horizontalHeaderItem(3)->setText(tr("Start\n(%1)").arg(zone));
    horizontalHeaderItem(4)->setText(tr("End\n(%1)").arg(zone));
    const auto time = [&](quint32 t) {
        return t == 0 ? QStringLiteral("-")
                      : PointFormat::pointDateTime(t, shown).toString(
                            QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    };
    for (int r = 0; r < rows.size(); ++r) {
        const TripStats &s = rows[r];
        const FigureTexts f = figureTexts(s, units.speedUnit(), units.heightUnit());
        QStringList texts{names.value(r),
                          QString::number(s.points),
                          QString::number(s.marks),
                          time(s.start),
                          time(s.end),
                          f.duration,
                          f.movingTime,
                          f.distance,
                          f.averageSpeed,
                          f.movingAverage,
                          f.maximumSpeed,
                          f.lowest,
                          f.highest,
                          f.ascent,
                          f.descent};
        for (const Extra &e : extras)
            texts << e.text(s);
        for (int c = 0; c < texts.size(); ++c) {
            auto *item = new QTableWidgetItem(texts[c]);
            if (c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            setItem(r, c, item);
        }
    }
    resizeColumnsToContents();
}
