#include "view/profilechart.h"

#include "analysis/decimate.h"
#include "analysis/tripstats.h"
#include "formats/exportsettings.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {
constexpr double MetresPerMile = 1609.344;
constexpr double FeetPerMetre = 3.28084;
constexpr double KmPerMile = 1.609344;
} // namespace

ProfileChart::ProfileChart(const ExportSettings *settings, QWidget *parent)
    : QChartView(parent), settings(settings)
{
    setRenderHint(QPainter::Antialiasing);
    setMouseTracking(true);
    setMinimumSize(240, 140);
    auto *c = new QChart;
    c->legend()->setAlignment(Qt::AlignTop);
    c->setMargins(QMargins(4, 4, 4, 4));
    // The view's own first chart is released, not deleted, when replaced.
    QChart *first = chart();
    setChart(c);
    delete first;

    speed = new QLineSeries;
    altitude = new QLineSeries;
    cursor = new QLineSeries;
    speed->setColor(QColor(0x1f, 0x77, 0xb4));
    altitude->setColor(QColor(0x2c, 0xa0, 0x2c));
    QPen cursorPen(QColor(0xe0, 0xa0, 0x00));
    cursorPen.setWidth(2);
    cursor->setPen(cursorPen);
    c->addSeries(speed);
    c->addSeries(altitude);
    c->addSeries(cursor);
    c->legend()->markers(cursor).first()->setVisible(false);

    timeAxis = new QDateTimeAxis;
    timeAxis->setFormat(QStringLiteral("hh:mm"));
    distanceAxis = new QValueAxis;
    distanceAxis->setLabelFormat(QStringLiteral("%.1f"));
    speedAxis = new QValueAxis;
    altitudeAxis = new QValueAxis;
    altitudeAxis->setLabelFormat(QStringLiteral("%.0f"));
    c->addAxis(timeAxis, Qt::AlignBottom);
    c->addAxis(distanceAxis, Qt::AlignBottom);
    c->addAxis(speedAxis, Qt::AlignLeft);
    c->addAxis(altitudeAxis, Qt::AlignRight);
    for (QLineSeries *s : {speed, cursor})
        s->attachAxis(speedAxis);
    altitude->attachAxis(altitudeAxis);
    for (QLineSeries *s : {speed, altitude, cursor}) {
        s->attachAxis(timeAxis);
        s->attachAxis(distanceAxis);
    }
    rebuild();
}

void ProfileChart::setPoints(const QVector<TrackPoint> &list, int trackFormat)
{
    points = list;
    format = trackFormat;
    cursorRow = -1;
    lastPicked = -1;
    rebuild();
}

void ProfileChart::setAgainstDistance(bool distance)
{
    if (distance == byDistance)
        return;
    byDistance = distance;
    rebuild();
}

double ProfileChart::displayX(double x) const
{
    if (byDistance)
        return settings->exportSpeedUnit() == 0 ? x / 1000.0 : x / MetresPerMile;
    // The time axis labels its values in local time; for UTC the values are
    // moved by the local offset so the labels read UTC.
    const qint64 ms = qint64(x) * 1000;
    if (settings->exportTimeSwitch() != 0)
        return double(ms);
    return double(ms - qint64(QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc()) * 1000);
}

void ProfileChart::rebuild()
{
    // Read through a const reference: the list shares these points, and a
    // non-const access would copy them all.
    const QVector<TrackPoint> &points = this->points;
    const size_t n = size_t(points.size());
    xs.assign(n, NAN);
    if (byDistance) {
        xs = TripAnalysis::cumulativeDistances(points);
    } else {
        // Time 0 is no time: such points have no place on a time axis.
        for (size_t i = 0; i < n; ++i)
            if (points[qsizetype(i)].time != 0)
                xs[i] = double(points[qsizetype(i)].time);
    }
    rowsByX.clear();
    rowsByX.reserve(n);
    for (size_t i = 0; i < n; ++i)
        if (!std::isnan(xs[i]))
            rowsByX.push_back(int(i));
    if (!std::is_sorted(rowsByX.begin(), rowsByX.end(),
                        [&](int a, int b) { return xs[size_t(a)] < xs[size_t(b)]; }))
        std::stable_sort(rowsByX.begin(), rowsByX.end(),
                         [&](int a, int b) { return xs[size_t(a)] < xs[size_t(b)]; });

    // The lines, thinned in axis units; altitude only where the log has it.
    const int speedUnit = settings->exportSpeedUnit();
    const bool feet = settings->exportHeightUnit() != 0;
    const bool hasAltitude = format == 2;
    // Usually every row is drawn in order, and the x values are used in place.
    const bool inPlace = rowsByX.size() == n;
    std::vector<double> xCopy;
    if (!inPlace) {
        xCopy.resize(rowsByX.size());
        for (size_t k = 0; k < rowsByX.size(); ++k)
            xCopy[k] = xs[size_t(rowsByX[k])];
    }
    const double *x = inPlace ? xs.data() : xCopy.data();
    const size_t drawn = rowsByX.size();
    std::vector<double> ySpeed(drawn), yAlt(hasAltitude ? drawn : 0);
    for (size_t k = 0; k < drawn; ++k) {
        const TrackPoint &p = points[rowsByX[k]];
        ySpeed[k] = speedUnit == 0 ? p.speed / 100.0 : p.speed / 100.0 / KmPerMile;
        if (hasAltitude)
            yAlt[k] = feet ? p.position.z * FeetPerMetre : p.position.z;
    }
    const int buckets = MaxDrawn / 2;
    auto inAxisUnits = [this](QVector<QPointF> line) {
        for (QPointF &p : line)
            p.setX(displayX(p.x()));
        return line;
    };
    speed->replace(inAxisUnits(TripAnalysis::minMaxDecimate(x, ySpeed.data(), drawn, buckets)));
    altitude->replace(
        hasAltitude ? inAxisUnits(TripAnalysis::minMaxDecimate(x, yAlt.data(), drawn, buckets))
                    : QVector<QPointF>());

    speed->setName(speedUnit == 0 ? tr("Speed (km/h)") : tr("Speed (mph)"));
    altitude->setName(feet ? tr("Altitude (ft)") : tr("Altitude (m)"));
    altitude->setVisible(hasAltitude);
    altitudeAxis->setVisible(hasAltitude);
    timeAxis->setVisible(!byDistance);
    distanceAxis->setVisible(byDistance);
    distanceAxis->setTitleText(speedUnit == 0 ? tr("km") : tr("mi"));

    const double lo = drawn == 0 ? 0.0 : displayX(x[0]);
    const double hi = drawn == 0 ? 1.0 : displayX(x[drawn - 1]);
    const double right = hi > lo ? hi : lo + 1.0;
    if (byDistance) {
        distanceAxis->setRange(lo, right);
    } else {
        timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(qint64(lo)),
                           QDateTime::fromMSecsSinceEpoch(qint64(right)));
        timeAxis->setFormat(hi - lo > 86400e3 ? QStringLiteral("dd hh:mm")
                                              : QStringLiteral("hh:mm"));
    }
    const double top = ySpeed.empty() ? 1.0 : *std::max_element(ySpeed.begin(), ySpeed.end());
    speedAxis->setRange(0.0, top > 0 ? top * 1.05 : 1.0);
    if (hasAltitude && !yAlt.empty()) {
        const auto [mn, mx] = std::minmax_element(yAlt.begin(), yAlt.end());
        const double pad = std::max(1.0, (*mx - *mn) * 0.05);
        altitudeAxis->setRange(*mn - pad, *mx + pad);
    }
    setCursorRow(cursorRow);
}

void ProfileChart::setCursorRow(int row)
{
    cursorRow = row;
    const double x = axisXOfRow(row);
    if (std::isnan(x)) {
        cursor->clear();
        return;
    }
    cursor->replace({QPointF(x, speedAxis->min()), QPointF(x, speedAxis->max())});
}

double ProfileChart::axisXOfRow(int row) const
{
    if (row < 0 || size_t(row) >= xs.size() || std::isnan(xs[size_t(row)]))
        return NAN;
    return displayX(xs[size_t(row)]);
}

int ProfileChart::rowAt(double axisX) const
{
    if (rowsByX.empty())
        return -1;
    // Axis values grow with x, so the nearest row is found by bisection.
    auto it = std::lower_bound(rowsByX.begin(), rowsByX.end(), axisX,
                               [this](int r, double v) { return axisXOfRow(r) < v; });
    if (it == rowsByX.end())
        return rowsByX.back();
    if (it != rowsByX.begin() && axisX - axisXOfRow(*(it - 1)) < axisXOfRow(*it) - axisX)
        --it;
    return *it;
}

void ProfileChart::pickAt(const QPointF &viewPos, bool clicked)
{
    const QPointF scenePos = mapToScene(viewPos.toPoint());
    if (!chart()->plotArea().contains(chart()->mapFromScene(scenePos)))
        return;
    const QPointF value = chart()->mapToValue(chart()->mapFromScene(scenePos), speed);
    const int row = rowAt(value.x());
    if (row < 0 || row == lastPicked)
        return;
    lastPicked = row;
    emit pointPicked(row, clicked);
}

void ProfileChart::mousePressEvent(QMouseEvent *event)
{
    lastPicked = -1; // a click always reports, even on the same point
    pickAt(event->position(), true);
    QChartView::mousePressEvent(event);
}

void ProfileChart::mouseMoveEvent(QMouseEvent *event)
{
    pickAt(event->position(), false);
    QChartView::mouseMoveEvent(event);
}
