#include "view/pointlist.h"

#include "model/units.h"
#include "view/googlemapoperator.h"
#include "view/playbackthread.h"
#include "view/pointformat.h"
#include "view/pointlistmodel.h"
#include "view/profilechart.h"

#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTreeView>

#include <algorithm>

PointList::PointList(QTreeView *view, PointListModel *model, ProfileChart *profile, QComboBox *axis,
                     const DisplayUnits *units, GoogleMapOperator *map, QObject *parent)
    : QObject(parent), view(view), model(model), profile(profile), units(units), map(map)
{
    playbackThread = new PlaybackThread;
    // Columns sized from the rows shown and a few hundred more: the texts of a column are of
    // one width, and a million rows measured would hold up every edit.
    view->header()->setResizeContentsPrecision(200);
    connect(view, &QTreeView::doubleClicked, this, &PointList::goToRow);
    connect(profile, &ProfileChart::pointPicked, this, &PointList::pickPoint);
    // A row chosen by hand or by playback moves the graph's cursor.
    connect(profile, &ProfileChart::rowsDragged, this, [this](int first, int last) {
        this->view->selectionModel()->select(
            QItemSelection(this->model->index(first, 0), this->model->index(last, 0)),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        this->view->scrollTo(this->model->index(last, 0));
    });
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        // The cursor on the first selected row, the band from the first to the last; read
        // from the selection's ranges, not row by row.
        int first = -1, last = -1;
        for (const QItemSelectionRange &r : this->view->selectionModel()->selection()) {
            first = first < 0 ? r.top() : std::min(first, r.top());
            last = std::max(last, r.bottom());
        }
        this->profile->setCursorRow(first);
        this->profile->setBand(first, last);
        emit selectionChanged();
    });
    connect(axis, &QComboBox::currentIndexChanged, this,
            [this](int i) { this->profile->setAgainstDistance(i == 1); });
}

PointList::~PointList()
{
    stopPlayback();
    delete playbackThread;
}

void PointList::clear()
{
    model->clear();
    // Left open elsewhere: the old list would stand for tracks that are gone.
    playPoints.clear();
    playStart = 0;
    profile->setPoints({}, 0);
}

void PointList::releasePoints()
{
    stopPlayback();
    model->clear();
    playPoints.clear();
    profile->releasePoints();
}

void PointList::show(const Track *track, std::optional<PointFilter> filter, bool recenter,
                     bool sizeColumns)
{
    model->clear();
    playPoints.clear();
    if (!track) {
        profile->setPoints({}, 0);
        return;
    }
    if (filter)
        inForce = *filter;
    QVector<int> numbers; // each kept point's own number in the track
    trackPoints = int(track->points.size());
    if (inForce.rule == PointFilter::Rule::All) {
        playPoints = track->points;
    } else {
        for (int i = 0; i < track->points.size(); ++i)
            if (inForce.keeps(track->points[i])) {
                playPoints.append(track->points[i]);
                numbers.append(i + 1);
            }
    }
    if (recenter && !playPoints.isEmpty())
        map->setCenter(playPoints.first().position.x, playPoints.first().position.y);
    model->setPoints(playPoints, track->format, numbers);
    profile->setPoints(playPoints, track->format);
    for (int c = 0; sizeColumns && c < model->columnCount(); ++c)
        view->resizeColumnToContents(c);
}

QVector<int> PointList::selectedPointIndexes() const
{
    // From the selection's ranges: a drag over half a million rows makes no index per row.
    QVector<int> indexes;
    for (const QItemSelectionRange &r : view->selectionModel()->selection())
        for (int row = r.top(); row <= r.bottom(); ++row)
            indexes << model->pointIndex(row);
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    return indexes;
}

std::optional<std::pair<int, int>> PointList::selectedSpan() const
{
    int top = -1, bottom = -1;
    qsizetype rows = 0;
    for (const QItemSelectionRange &r : view->selectionModel()->selection()) {
        top = top < 0 ? r.top() : std::min(top, r.top());
        bottom = std::max(bottom, r.bottom());
        rows += r.height();
    }
    if (rows < 2)
        return std::nullopt;
    return std::make_pair(model->pointIndex(top), model->pointIndex(bottom));
}

void PointList::selectPoints(int from, int to)
{
    QItemSelection rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        const int i = model->pointIndex(r);
        if (i < from || i > to)
            continue;
        int last = r; // a run of rows in the stretch as one range
        while (last + 1 < model->rowCount() && model->pointIndex(last + 1) <= to)
            ++last;
        rows.select(model->index(r, 0), model->index(last, 0));
        r = last;
    }
    view->selectionModel()->select(rows,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (!rows.isEmpty())
        view->scrollTo(rows.first().topLeft());
}

void PointList::goToRow(const QModelIndex &index)
{
    stopPlayback();
    playStart = 0;
    const int j = index.isValid() ? index.row() : view->currentIndex().row();
    if (j < 0 || j >= playPoints.size())
        return;
    playStart = j;
    const TrackPoint &p = playPoints.at(j);
    map->viewPoint(p.position.x, p.position.y,
                   PointFormat::pointLabel(j, p.time, units->timeShown()));
}

void PointList::showPointAndSelectInfo(int index)
{
    if (index < 0 || index >= playPoints.size())
        return;
    const TrackPoint &p = playPoints.at(index);
    map->viewPoint(p.position.x, p.position.y,
                   PointFormat::pointLabel(index, p.time, units->timeShown()));
    view->clearSelection();
    if (index < model->rowCount()) {
        const QModelIndex row = model->index(index, 0);
        view->selectionModel()->select(row,
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        view->scrollTo(row);
    }
    playStart = index;
}

void PointList::startPlayback()
{
    delete playbackThread; // never running here: a run is stopped before the next starts
    playbackThread = new PlaybackThread;
    connect(playbackThread, &PlaybackThread::currentPoint, this, &PointList::showPointAndSelectInfo,
            Qt::QueuedConnection);
    // Only the current run's end counts: a stopped run's queued finish must not
    // turn Play back while the next run plays.
    const int run = ++playbackRun;
    connect(
        playbackThread, &QThread::finished, this,
        [this, run] {
            if (run == playbackRun)
                emit playThreadFinished();
        },
        Qt::QueuedConnection);
    connect(
        playbackThread, &PlaybackThread::playEnd, this, [this] { playStart = 0; },
        Qt::QueuedConnection);
    playbackThread->setCount(int(playPoints.size()));
    playbackThread->setStart(playStart);
    playbackThread->setSpeed(playSpeed);
    playbackThread->start();
}

void PointList::stopPlayback()
{
    playbackThread->stop();
}

void PointList::rewindPlayback()
{
    stopPlayback();
    playStart = 0;
    showPointAndSelectInfo(0);
}

void PointList::setSpeed(int step)
{
    playSpeed = step;
    playbackThread->setSpeed(step);
}

void PointList::pickPoint(int row, bool clicked)
{
    // A click goes to the point as a double-click in the list does; passing over the graph
    // moves the marker and the row (the map pans only to keep the marker in view) and leaves
    // a running playback alone.
    if (clicked) {
        stopPlayback();
        showPointAndSelectInfo(row);
        return;
    }
    if (row < 0 || row >= playPoints.size() || row >= model->rowCount())
        return;
    const TrackPoint &p = playPoints.at(row);
    map->markPoint(p.position.x, p.position.y,
                   PointFormat::pointLabel(row, p.time, units->timeShown()));
    view->selectionModel()->select(model->index(row, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->scrollTo(model->index(row, 0));
}
