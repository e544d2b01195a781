#ifndef PROFILECHART_H
#define PROFILECHART_H

#include "model/trackrecords.h"

#include <QChartView>

class QFontMetricsF;

#include <limits>
#include <vector>

class DisplayUnits;
class QAreaSeries;
class QCategoryAxis;
class QComboBox;
class QLabel;
class QLineSeries;
class QValueAxis;

// Speed and altitude (and another device's heart rate, cadence, temperature or power) of the
// listed points against time or distance. Long
// tracks are thinned for drawing, keeping every peak. A click or hover on the
// graph reports the nearest listed point; the cursor marks the selected one.
class ProfileChart : public QChartView
{
    Q_OBJECT

public:
    // Points drawn per series at most.
    static constexpr int MaxDrawn = 4000;

    explicit ProfileChart(const DisplayUnits *units, QWidget *parent = nullptr);

    // Redraws for these points (the point list's rows) in the current units.
    void setPoints(const QVector<TrackPoint> &points, int format);
    // Drops the points, keeping the lines drawn from them until setPoints.
    void releasePoints() { points = {}; }
    void setAgainstDistance(bool distance);
    bool againstDistance() const { return byDistance; }
    // Moves the cursor to a row of the list; -1 hides it.
    void setCursorRow(int row);
    // Shades rows first to last as the selection; -1 hides the band.
    void setBand(int first, int last);

    // The row nearest to a position on the x axis (axis units), -1 for none.
    int rowAt(double axisX) const;
    // Where a row sits on the x axis, in the axis's units; NaN if not drawn.
    double axisXOfRow(int row) const;

    // For the tests.
    QLineSeries *speedSeries() const { return speed; }
    QLineSeries *altitudeSeries() const { return altitude; }
    QLineSeries *sensorSeries() const { return sensor; }
    // Which of another device's values the profile draws (heart rate, cadence, temperature,
    // power: those the listed points have); hidden when they have none. Not in the chart's
    // layout: its owner places it.
    QComboBox *sensorBox() const { return sensors; }
    QLineSeries *cursorSeries() const { return cursor; }
    QAreaSeries *bandSeries() const { return band; }
    // What the graph says instead of empty axes ("This track has no times"); empty if drawn.
    QString emptyText() const;

signals:
    // A click (`clicked`) or the pointer passing over the graph near a row.
    void pointPicked(int row, bool clicked);
    // A drag across the graph with the left button, from row `first` to `last` (in order).
    void rowsDragged(int first, int last);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void rebuild();
    // Each row's x (NaN where it has none) and the drawn rows in x order.
    void placeRows();
    void fitAxes(const double *x, size_t drawn, const std::vector<double> &ySpeed,
                 const std::vector<double> &yAlt);
    void offerSensors();
    void drawSensor(const double *x, size_t drawn, int buckets);
    // The row under a point of the view, -1 outside the plot.
    int rowUnder(const QPointF &viewPos) const;
    void pickAt(const QPointF &viewPos, bool clicked);
    void drawBand();
    double displayX(double x) const; // epoch seconds or distance -> axis value
    // Round ticks and short labels for the ranges and the room the graph has now.
    void updateTicks();
    // As many labels on the x axis as fit in `pixels`, at round values, none cut off at the
    // right end.
    void labelDistances(double pixels, const QFontMetricsF &metrics);
    void labelTimes(double pixels, const QFontMetricsF &metrics);
    // Adds a label unless half of it would stand past the right end of the axis.
    void appendLabel(const QString &label, double value, double pixels,
                     const QFontMetricsF &metrics);

    const DisplayUnits *units;
    QVector<TrackPoint> points; // shared with the point list, not copied
    int format = 0;
    bool byDistance = false;
    int cursorRow = -1;
    int lastPicked = -1;
    // displayX's last zone offset and the quarter of an hour it holds for
    mutable qint64 offsetQuarter = std::numeric_limits<qint64>::min(), quarterOffsetMs = 0;
    int pressRow = -1;                 // where a drag started
    int bandFirst = -1, bandLast = -1; // rows of the selection's band
    QSizeF tickedFor;                  // the plot area the ticks were chosen for
    std::vector<double> xs;            // per row: epoch seconds or metres; NaN if not drawn
    std::vector<int> rowsByX;          // drawn rows in x order, for picking

    QLineSeries *speed = nullptr;
    QLineSeries *altitude = nullptr;
    QLineSeries *sensor = nullptr; // another device's values, of the kind `sensors` shows
    QComboBox *sensors = nullptr;
    QLineSeries *cursor = nullptr;
    QAreaSeries *band = nullptr;
    QCategoryAxis *xAxis = nullptr; // time or distance
    QValueAxis *speedAxis = nullptr;
    QValueAxis *altitudeAxis = nullptr;
    QValueAxis *sensorAxis = nullptr;
    QLabel *empty = nullptr; // over the graph when nothing can be drawn
};

#endif // PROFILECHART_H
