#include "view/profilechart.h"

#include "analysis/decimate.h"
#include "analysis/tripstats.h"
#include "model/units.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QComboBox>
#include <QDateTime>
#include <QFontMetricsF>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QSet>
#include <QSignalBlocker>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// Steps a clock reads well in, in seconds: seconds, minutes, hours, days, a week.
constexpr int TimeSteps[] = {1,   2,    5,    10,   15,    30,    60,    120,   300,    600,
                             900, 1800, 3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800};

// The smallest step of the 1-2-5 series, not below `smallest`, that cuts `span` into at
// most `most` parts.
double niceStep(double span, int most, double smallest)
{
    if (!(span > 0))
        return smallest;
    const double raw = span / std::max(1, most);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10 * magnitude;
    for (double m : {1.0, 2.0, 5.0})
        if (m * magnitude >= raw) {
            step = m * magnitude;
            break;
        }
    return std::max(smallest, step);
}

void clearLabels(QCategoryAxis *axis)
{
    for (const QString &label : axis->categoriesLabels())
        axis->remove(label);
}

// "%.0f" for whole steps, one decimal below (the steps never go finer than 0.1).
QString labelFormat(double step)
{
    return step >= 1 ? QStringLiteral("%.0f") : QStringLiteral("%.1f");
}

// A value axis with its ticks on round values: at most one per `spacing` pixels.
void setNiceTicks(QValueAxis *axis, double pixels, double spacing, double smallest)
{
    const int most = std::max(1, int(pixels / spacing));
    const double step = niceStep(axis->max() - axis->min(), most, smallest);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0.0);
    axis->setTickInterval(step);
    axis->setLabelFormat(labelFormat(step));
}
} // namespace

ProfileChart::ProfileChart(const DisplayUnits *units, QWidget *parent)
    : QChartView(parent), units(units)
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
    sensor = new QLineSeries;
    sensors = new QComboBox(this); // the owner places it in its layout
    sensors->setObjectName(QStringLiteral("profileSensor"));
    sensors->hide();
    connect(sensors, &QComboBox::currentIndexChanged, this, [this] { rebuild(); });
    speed->setColor(QColor(0x1f, 0x77, 0xb4));
    altitude->setColor(QColor(0x2c, 0xa0, 0x2c));
    sensor->setColor(QColor(0xd6, 0x27, 0x28));
    QPen cursorPen(QColor(0xe0, 0xa0, 0x00));
    cursorPen.setWidth(2);
    cursor->setPen(cursorPen);
    // The selection's band, under the lines.
    band = new QAreaSeries(new QLineSeries(this), new QLineSeries(this));
    band->setPen(Qt::NoPen);
    band->setBrush(QColor(0xe0, 0xa0, 0x00, 0x50));
    c->addSeries(band);
    c->addSeries(speed);
    c->addSeries(altitude);
    c->addSeries(sensor);
    c->addSeries(cursor);
    for (QAbstractSeries *s :
         {static_cast<QAbstractSeries *>(cursor), static_cast<QAbstractSeries *>(band)})
        c->legend()->markers(s).first()->setVisible(false);

    // Time and distance are labelled by hand, at round values; the others tick on round values.
    xAxis = new QCategoryAxis;
    xAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    speedAxis = new QValueAxis;
    altitudeAxis = new QValueAxis;
    sensorAxis = new QValueAxis;
    c->addAxis(xAxis, Qt::AlignBottom);
    c->addAxis(speedAxis, Qt::AlignLeft);
    c->addAxis(altitudeAxis, Qt::AlignRight);
    c->addAxis(sensorAxis, Qt::AlignRight);
    for (QAbstractSeries *s : std::initializer_list<QAbstractSeries *>{speed, cursor, band})
        s->attachAxis(speedAxis);
    altitude->attachAxis(altitudeAxis);
    sensor->attachAxis(sensorAxis);
    for (QAbstractSeries *s :
         std::initializer_list<QAbstractSeries *>{speed, altitude, sensor, cursor, band})
        s->attachAxis(xAxis);
    connect(c, &QChart::plotAreaChanged, this, &ProfileChart::updateTicks);
    empty = new QLabel(this);
    empty->setAlignment(Qt::AlignCenter);
    empty->setAttribute(Qt::WA_TransparentForMouseEvents);
    empty->hide();
    rebuild();
}

QString ProfileChart::emptyText() const
{
    return empty->isHidden() ? QString() : empty->text();
}

void ProfileChart::resizeEvent(QResizeEvent *event)
{
    QChartView::resizeEvent(event);
    empty->setGeometry(rect());
}

void ProfileChart::setPoints(const QVector<TrackPoint> &list, int trackFormat)
{
    points = list;
    format = trackFormat;
    cursorRow = -1;
    lastPicked = -1;
    bandFirst = bandLast = -1;
    offerSensors();
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
        return units->speedUnit() == SpeedUnit::Kmh ? x / 1000.0 : x / Units::MetresPerMile;
    // The time axis labels its values in local time; for UTC the values are
    // moved by the local offset so the labels read UTC.
    const qint64 ms = qint64(std::llround(x * 1000));
    if (units->timeShown() != TimeShown::Utc)
        return double(ms);
    // The zone's offset asked once a quarter of an hour (clocks change on such a boundary),
    // not for each of thousands of points: each asking reads the zone again.
    const qint64 quarter = ms >= 0 ? ms / 900000 : (ms - 899999) / 900000;
    if (quarter != offsetQuarter) {
        offsetQuarter = quarter;
        quarterOffsetMs =
            qint64(QDateTime::fromMSecsSinceEpoch(quarter * 900000).offsetFromUtc()) * 1000;
    }
    return double(ms - quarterOffsetMs);
}

void ProfileChart::placeRows()
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
            if (points[qsizetype(i)].hasTime())
                xs[i] = points[qsizetype(i)].exactTime();
    }
    rowsByX.clear();
    rowsByX.reserve(n);
    for (size_t i = 0; i < n; ++i)
        if (!std::isnan(xs[i]))
            rowsByX.push_back(int(i));
    const auto byX = [&](int a, int b) { return xs[size_t(a)] < xs[size_t(b)]; };
    if (!std::is_sorted(rowsByX.begin(), rowsByX.end(), byX))
        std::stable_sort(rowsByX.begin(), rowsByX.end(), byX);
}

void ProfileChart::fitAxes(const double *x, size_t drawn, const std::vector<double> &ySpeed,
                           const std::vector<double> &yAlt)
{
    const double lo = drawn == 0 ? 0.0 : displayX(x[0]);
    const double hi = drawn == 0 ? 1.0 : displayX(x[drawn - 1]);
    xAxis->setRange(lo, hi > lo ? hi : lo + 1.0);
    double top = 0, low = INFINITY, high = -INFINITY;
    for (double v : ySpeed)
        top = std::isnan(v) ? top : std::max(top, v);
    speedAxis->setRange(0.0, top > 0 ? top * 1.05 : 1.0);
    for (double v : yAlt)
        if (!std::isnan(v))
            low = std::min(low, v), high = std::max(high, v);
    if (low <= high) {
        const double pad = std::max(1.0, (high - low) * 0.05);
        altitudeAxis->setRange(low - pad, high + pad);
    }
    // An empty graph has nothing to label, nor a track without altitudes its altitude axis
    // (the last track's range would stand over the speed line). A track with points but
    // nothing to draw says why rather than showing an empty frame.
    const bool anyValue = low <= high || std::any_of(ySpeed.begin(), ySpeed.end(),
                                                     [](double v) { return !std::isnan(v); });
    for (QAbstractAxis *axis : chart()->axes())
        axis->setLabelsVisible(anyValue && (axis != altitudeAxis || low <= high));
    altitudeAxis->setVisible(low <= high);
    const bool untimed =
        !points.isEmpty() && std::none_of(points.cbegin(), points.cend(),
                                          [](const TrackPoint &p) { return p.hasTime(); });
    empty->setText(untimed ? tr("This track has no times") : QString());
    empty->setVisible(untimed && !anyValue);
    empty->setGeometry(rect());
}

void ProfileChart::rebuild()
{
    placeRows();
    // Usually every row is drawn in order, and the x values are used in place.
    const size_t drawn = rowsByX.size();
    std::vector<double> xCopy;
    if (drawn != xs.size()) {
        xCopy.resize(drawn);
        for (size_t k = 0; k < drawn; ++k)
            xCopy[k] = xs[size_t(rowsByX[k])];
    }
    const double *x = drawn == xs.size() ? xs.data() : xCopy.data();

    // The lines, thinned in axis units; altitude only where the log has it.
    const bool kmh = units->speedUnit() == SpeedUnit::Kmh;
    const bool feet = units->heightUnit() != HeightUnit::Metres;
    const bool hasAltitude = formatHasAltitudes(format);
    std::vector<double> ySpeed(drawn), yAlt(hasAltitude ? drawn : 0);
    const QVector<TrackPoint> &shared = points; // const: reading never copies the points
    for (size_t k = 0; k < drawn; ++k) {
        const TrackPoint &p = shared[rowsByX[k]];
        // What a point lacks is no value on the line (NaN is left out of it).
        ySpeed[k] = !p.hasSpeed() ? NAN
                    : kmh         ? p.speed / 100.0
                                  : p.speed / 100.0 / Units::KmPerMile;
        if (hasAltitude)
            yAlt[k] = !p.hasAltitude() ? NAN
                      : feet           ? p.position.z * Units::FeetPerMetre
                                       : p.position.z;
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
    speed->setName(kmh ? tr("Speed (km/h)") : tr("Speed (mph)"));
    altitude->setName(feet ? tr("Altitude (ft)") : tr("Altitude (m)"));
    altitude->setVisible(hasAltitude);
    drawSensor(x, drawn, buckets);

    fitAxes(x, drawn, ySpeed, yAlt);
    tickedFor = QSizeF();
    updateTicks();
    setCursorRow(cursorRow);
    drawBand();
}

namespace {
// Another device's value of a kind (0 heart rate, 1 cadence, 2 temperature, 3 power), NaN for none.
double sensorValue(const TrackPoint &p, int kind)
{
    int v = 0;
    return p.sensor(kind, &v) ? double(v) : NAN;
}

const char *const SensorNames[] = {QT_TRANSLATE_NOOP("ProfileChart", "Heart rate (bpm)"),
                                   QT_TRANSLATE_NOOP("ProfileChart", "Cadence (rpm)"),
                                   QT_TRANSLATE_NOOP("ProfileChart", "Temperature (°C)"),
                                   QT_TRANSLATE_NOOP("ProfileChart", "Power (W)")};
} // namespace

void ProfileChart::offerSensors()
{
    // The box offers the kinds the listed points have; the choice stays while it can.
    bool has[4] = {};
    for (const TrackPoint &p : qAsConst(points))
        for (int k = 0; k < 4; ++k)
            has[k] = has[k] || !std::isnan(sensorValue(p, k));
    const QString chosen = sensors->currentText();
    const QSignalBlocker quiet(sensors);
    sensors->clear();
    for (int k = 0; k < 4; ++k)
        if (has[k])
            sensors->addItem(tr(SensorNames[k]), k);
    sensors->setCurrentIndex(std::max(0, sensors->findText(chosen)));
    sensors->setVisible(sensors->count() > 0);
}

void ProfileChart::drawSensor(const double *x, size_t drawn, int buckets)
{
    // The chosen kind of another device's values, where the listed points have it, on an axis
    // of its own.
    const int kind = sensors->count() > 0 ? sensors->currentData().toInt() : -1;
    std::vector<double> y(drawn, NAN);
    double low = INFINITY, high = -INFINITY;
    const QVector<TrackPoint> &shared = points;
    for (size_t k = 0; kind >= 0 && k < drawn; ++k) {
        y[k] = sensorValue(shared[rowsByX[k]], kind);
        if (!std::isnan(y[k]))
            low = std::min(low, y[k]), high = std::max(high, y[k]);
    }
    const bool any = low <= high;
    QVector<QPointF> line;
    if (any)
        line = TripAnalysis::minMaxDecimate(x, y.data(), drawn, buckets);
    for (QPointF &p : line)
        p.setX(displayX(p.x()));
    sensor->replace(line);
    sensor->setName(any ? tr(SensorNames[kind]) : QString());
    sensor->setVisible(any);
    sensorAxis->setVisible(any);
    if (any)
        sensorAxis->setRange(low - 5, high + 5);
}

void ProfileChart::updateTicks()
{
    const QRectF area = chart()->plotArea();
    const QSizeF size = area.isValid() ? area.size() : QSizeF(width() - 120, height() - 80);
    // Changing the labels may lay the chart out again; the same size needs nothing new.
    if (size == tickedFor)
        return;
    tickedFor = size;
    const QFontMetricsF metrics(speedAxis->labelsFont());
    const double rowSpacing = 1.6 * metrics.height();
    setNiceTicks(speedAxis, size.height(), rowSpacing, 0.1);
    setNiceTicks(altitudeAxis, size.height(), rowSpacing, 1.0);
    setNiceTicks(sensorAxis, size.height(), rowSpacing, 1.0);
    clearLabels(xAxis);
    xAxis->setStartValue(xAxis->min());
    if (byDistance)
        labelDistances(size.width(), metrics);
    else
        labelTimes(size.width(), metrics);
}

void ProfileChart::appendLabel(const QString &label, double value, double pixels,
                               const QFontMetricsF &metrics)
{
    const double span = xAxis->max() - xAxis->min();
    const double fromEnd = span > 0 ? (xAxis->max() - value) / span * pixels : 0;
    // The altitude axis's labels leave room at the right; without them the chart's margin
    // is all there is.
    const double room = fromEnd + (altitudeAxis->isVisible() ? 24 : 4);
    if (metrics.horizontalAdvance(label) / 2 <= room)
        xAxis->append(label, value);
}

void ProfileChart::labelDistances(double pixels, const QFontMetricsF &metrics)
{
    // Round values, one decimal at most, each with its unit (a title would take the room of
    // a row of labels in a short graph).
    const QString unit = units->speedUnit() == SpeedUnit::Kmh ? tr("km") : tr("mi");
    const double lo = xAxis->min(), hi = xAxis->max();
    const auto text = [&](double v, double step) {
        return QStringLiteral("%1 %2").arg(QString::number(v, 'f', step >= 1 ? 0 : 1), unit);
    };
    // Room for the widest label this axis can have.
    const double widest = metrics.horizontalAdvance(text(std::max(std::fabs(lo), hi), 0.1));
    const int most = std::max(1, int(pixels / (widest + 16)));
    const double step = niceStep(hi - lo, most, 0.1);
    for (double k = std::ceil(lo / step - 1e-9); k * step <= hi; ++k)
        appendLabel(text(k * step, step), k * step, pixels, metrics);
}

void ProfileChart::labelTimes(double pixels, const QFontMetricsF &metrics)
{
    // Round clock times on the clock the labels read (the axis values are already moved for
    // UTC): hours and minutes, with the day when the graph spans days.
    const double lo = xAxis->min(), hi = xAxis->max();
    const bool days = hi - lo > 86400e3;
    const qint64 offsetMs =
        qint64(QDateTime::fromMSecsSinceEpoch(qint64(lo)).offsetFromUtc()) * 1000;
    const auto formatFor = [days](qint64 s) {
        return s >= 86400 ? QStringLiteral("ddd d")
               : days     ? QStringLiteral("ddd hh:mm")
               : s < 60   ? QStringLiteral("hh:mm:ss")
                          : QStringLiteral("hh:mm");
    };
    // The finest step whose labels fit, each step measured in its own format (whole days
    // read "Wed 7", shorter than "Wed 00:00", so a long track keeps several).
    qint64 step = TimeSteps[std::size(TimeSteps) - 1];
    for (int s : TimeSteps) {
        const QString sample = QDateTime(QDate(2000, 12, 27), QTime(20, 0)).toString(formatFor(s));
        const double most = std::max(1.0, pixels / (metrics.horizontalAdvance(sample) + 16));
        if ((hi - lo) / (s * 1000.0) <= most) {
            step = s;
            break;
        }
    }
    const QString format = formatFor(step);
    const qint64 stepMs = step * 1000;
    QSet<QString> used;
    for (qint64 wall = qint64(std::ceil((lo + double(offsetMs)) / double(stepMs))) * stepMs;
         double(wall - offsetMs) <= hi; wall += stepMs) {
        const qint64 at = wall - offsetMs;
        QString label = QDateTime::fromMSecsSinceEpoch(at).toString(format);
        while (used.contains(label)) // the hour a clock change repeats: labels must differ
            label += QChar(0x200B);
        used.insert(label);
        appendLabel(label, double(at), pixels, metrics);
    }
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

void ProfileChart::setBand(int first, int last)
{
    bandFirst = first;
    bandLast = last;
    drawBand();
}

void ProfileChart::drawBand()
{
    const double a = axisXOfRow(bandFirst), b = axisXOfRow(bandLast);
    if (std::isnan(a) || std::isnan(b) || bandFirst == bandLast) {
        band->upperSeries()->clear();
        band->lowerSeries()->clear();
        return;
    }
    band->upperSeries()->replace({QPointF(a, speedAxis->max()), QPointF(b, speedAxis->max())});
    band->lowerSeries()->replace({QPointF(a, speedAxis->min()), QPointF(b, speedAxis->min())});
}

int ProfileChart::rowUnder(const QPointF &viewPos) const
{
    const QPointF inChart = chart()->mapFromScene(mapToScene(viewPos.toPoint()));
    if (!chart()->plotArea().contains(inChart))
        return -1;
    return rowAt(chart()->mapToValue(inChart, speed).x());
}

void ProfileChart::pickAt(const QPointF &viewPos, bool clicked)
{
    const int row = rowUnder(viewPos);
    if (row < 0 || row == lastPicked)
        return;
    lastPicked = row;
    emit pointPicked(row, clicked);
}

void ProfileChart::mousePressEvent(QMouseEvent *event)
{
    lastPicked = -1; // a click always reports, even on the same point
    pickAt(event->position(), true);
    pressRow = event->button() == Qt::LeftButton ? rowUnder(event->position()) : -1;
    QChartView::mousePressEvent(event);
}

void ProfileChart::mouseMoveEvent(QMouseEvent *event)
{
    // Dragging with the left button selects the rows it passes; hovering picks one.
    const int row = rowUnder(event->position());
    if (pressRow >= 0 && (event->buttons() & Qt::LeftButton)) {
        if (row >= 0 && row != lastPicked) {
            lastPicked = row;
            emit rowsDragged(std::min(pressRow, row), std::max(pressRow, row));
        }
    } else {
        pickAt(event->position(), false);
    }
    QChartView::mouseMoveEvent(event);
}

void ProfileChart::mouseReleaseEvent(QMouseEvent *event)
{
    pressRow = -1;
    QChartView::mouseReleaseEvent(event);
}
