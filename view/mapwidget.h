#ifndef MAPWIDGET_H
#define MAPWIDGET_H

#include "analysis/colourvalues.h"
#include "analysis/pieces.h"
#include "analysis/pointfilter.h"
#include "analysis/tripstats.h"
#include "model/trackrecords.h"
#include "view/mapsource.h"

#include <QList>
#include <QPointer>
#include <QVector>
#include <QWidget>

#include <memory>

class DisplayUnits;
class GoogleMapOperator;
class GoogleMapPage;
class MapTransport;
class MbTilesFile;
class MbTilesSchemeHandler;
class PointList;
class PointListModel;
class ProfileChart;
class QComboBox;
template <typename T> class QFutureWatcher;
class QModelIndex;
class QSpinBox;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class QWebChannel;
class QWebEngineProfile;
class QWebEngineView;
class StatisticsTable;
class TrackTree;

// The window's centre: the checkable track tree, the point list of the current track with
// its profile, and the street map. It reads the tracks and the unit and time choices of its
// window and never changes them; it draws on the map only through its GoogleMapOperator's
// signals. The tree and the list are views of their own (TrackTree, PointList).
class MapWidget : public QWidget
{
    Q_OBJECT

public:
    MapWidget(const QVector<Track> *tracks, const DisplayUnits *units, QWidget *parent = nullptr);
    ~MapWidget() override;

    // Refills the track tree and the map's lines from the tracks, ticking those at `ticked`.
    void rebuildTrackViews(const QList<int> &ticked = {});
    // The opened files' places of their own (`files`: the file of each), as named pins on the
    // map and under their file in the tree.
    void setWaypoints(const QVector<Waypoint> &places, const QStringList &files);
    // After an edit: the same, keeping the map's view, and `listed` listed again (-1: none).
    void refreshAfterEdit(const QList<int> &ticked, int listed);
    // Before an edit: the views let go of the points they share with the tracks, so that the
    // edit changes them in place rather than copying them; refreshAfterEdit must follow.
    void releaseForEdit();
    // The listed track (-1 for none) and the points selected in the list, ascending.
    int listedTrackIndex() const { return listedTrack; }
    // The tree's current track (-1 for none or the root).
    int currentTrackIndex() const;
    QVector<int> selectedPoints() const;
    // The selected stretch of the listed track, first to last point; nullopt for fewer than
    // two points selected.
    std::optional<std::pair<int, int>> selectedStretch() const;
    // The figures of the selected stretch; nullopt for none, or while they are worked out
    // (pointsSelected follows when they are).
    const std::optional<TripStats> &selectionFigures() const { return selectionStats; }
    // Lists the listed track again with the points the filter keeps (nullopt: the filter in
    // force, as after a change of units).
    void rebuildPointList(std::optional<PointFilter> filter = std::nullopt);
    QList<int> checkedTrackIndexes() const;
    // What the point list shows: the filter in force (see PointList) and the points kept of
    // the listed track's.
    const PointFilter &filter() const;
    QPair<int, int> listedPointCounts() const;

    // The base map. A network source replaces the one shown; an offline map does so only
    // when its file can be read, else `error` says why and the map stays as it was. An
    // offline map is brought into view when no track is.
    void setNetworkSource(const MapSource &source);
    bool openOfflineMap(const QString &path, QString *error);
    const MapSource &mapSource() const { return source; }
    void setMapView(double lat, double lng, int zoom);

    void startPlayback();
    void stopPlayback();
    void rewindPlayback();

    // The figures of the ticked tracks; the window shows it where it likes.
    StatisticsTable *statisticsTable() const;
    // The listed track's laps (mark to mark) or splits (every 1 km or mi, or 10 minutes):
    // a choice, the table, a Copy as CSV button; a click on a row selects that stretch.
    QWidget *piecesPane() const;
    // The tree's figures, and the statistics window's tables: those only while the window is
    // shown (or `evenIfHidden`, just before it is), as a long track's laps take a while.
    void refreshStatistics(bool evenIfHidden = false);

    // Photos on the map (see GoogleMapOperator::showPhotos).
    void showPhotos(const QJsonArray &photos);
    void clearPhotos();
    void focusPhoto(int id);
    // Colours the lines by a value (see TrackTree::setColouring).
    void setColouring(ColourBy by, std::optional<std::pair<double, double>> fixed);
    // The map itself, for windows that open beside it.
    QWidget *mapArea() const;

public slots:
    void TreeWidgetItemDoubleClicked(QTreeWidgetItem *item, int column);
    void addJSObject();
    // Fits the map to the ticked tracks.
    void zoomToTracks();
    // Playback speed step 0..2 from the tool bar's slider.
    void setSpeed(int speed);

signals:
    // The tree, the list and the map's lines were made again for new tracks.
    void trackViewsRebuilt();
    // The points selected in the list changed (shown on the map as a stretch).
    void pointsSelected();
    // A playback run has ended (finished, stopped or paused).
    void playThreadFinished();
    // The tracks' figures are ready after a change of tracks.
    void statisticsReady();
    // The user moved or zoomed the map.
    void mapViewChanged(double lat, double lng, int zoom);
    // The user clicked on a ticked track's line: its point nearest to the click.
    void trackPointPicked(int track, int point);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showSelection();
    void startSelectionFigures();
    // The tree, the map's lines, the list of `listed` (-1: none) and the figures again.
    void rebuildViews(const QList<int> &ticked, bool keepMapView, int listed);
    void setupForm();
    void pickNearestPoint(double lat, double lng);
    void startStatistics();

    const QVector<Track> *tracks;
    const DisplayUnits *units;
    int listedTrack = -1;                            // the track whose points are listed
    std::optional<std::pair<int, int>> shownStretch; // the selection the statistics show

    QTreeWidget *treeWidget = nullptr;
    QTreeView *treeWidget_2 = nullptr;
    QWebEngineView *view = nullptr;
    PointListModel *pointModel = nullptr;
    ProfileChart *profileView = nullptr;
    QComboBox *profileAxis = nullptr;
    TrackTree *trackTree = nullptr;
    PointList *pointList = nullptr;

    GoogleMapOperator *googleMapOperator = nullptr;
    MapTransport *transport = nullptr;
    QWebEngineProfile *profile = nullptr;
    GoogleMapPage *page = nullptr;
    QWebChannel *channel = nullptr;

    QPointer<StatisticsTable> statsTable; // a dialog may own it and go first
    QPointer<QWidget> piecesWidget;       // ... as this
    StatisticsTable *piecesTable = nullptr;
    QComboBox *piecesKind = nullptr;
    QSpinBox *piecesMinutes = nullptr;
    QVector<Pieces::Piece> shownPieces;
    void refreshPieces();
    void showPieces(const QVector<Pieces::Piece> &pieces, const QVector<TripStats> &stats);
    QFutureWatcher<std::pair<QVector<Pieces::Piece>, QVector<TripStats>>> *piecesWatcher = nullptr;
    int piecesGeneration = 0;
    std::optional<TripStats> selectionStats; // of shownStretch
    QFutureWatcher<TripStats> *selectionWatcher = nullptr;
    int selectionGeneration = 0;
    QVector<TripStats> trackStats;
    QFutureWatcher<QVector<TripStats>> *statsWatcher = nullptr;
    int statsGeneration = 0;

    MapSource source;
    MbTilesSchemeHandler *tileHandler = nullptr;
    std::shared_ptr<MbTilesFile> offlineFile;
    int offlineMaps = 0;
};

#endif // MAPWIDGET_H
