#ifndef MAPWIDGET_H
#define MAPWIDGET_H

#include "analysis/tripstats.h"
#include "model/trackrecords.h"
#include "view/mapsource.h"
#include "view/statisticstable.h"

#include <QList>
#include <QPointer>
#include <QVector>
#include <QWidget>

#include <memory>

class DisplayUnits;
class MbTilesFile;
class MbTilesSchemeHandler;
class GoogleMapOperator;
class GoogleMapPage;
class MapTransport;
class PlaybackThread;
class PointListModel;
class ProfileChart;
class QComboBox;
template <typename T> class QFutureWatcher;
class QLabel;
class QModelIndex;
class QSplitter;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class QWebChannel;
class QWebEngineProfile;
class QWebEngineView;

// The window's centre: the checkable track tree, the point list of the
// current track and the street map. It reads the tracks and the unit and time
// choices of its window and never changes them; it draws on the map only
// through its GoogleMapOperator's signals.
class MapWidget : public QWidget
{
    Q_OBJECT

public:
    MapWidget(const QVector<Track> *tracks, const DisplayUnits *units, QWidget *parent = nullptr);
    ~MapWidget() override;

    // Refills the track tree and the map's lines from the tracks.
    void rebuildTrackViews();
    // Refills the point list of the current track with the points the rule
    // keeps: -1 all, 1..5 speed >, >=, =, <, <= threshold (km/h), 6 mark points,
    // 0 the rule in force.
    void rebuildPointList(float threshold, int rule);
    QList<int> checkedTrackIndexes() const;

    // The base map. A network source replaces the one shown; an offline map
    // does so only when its file can be read, else `error` says why and the
    // map stays as it was. An offline map is brought into view when no track is.
    void setNetworkSource(const MapSource &source);
    bool openOfflineMap(const QString &path, QString *error);
    const MapSource &mapSource() const { return source; }
    void setMapView(double lat, double lng, int zoom);

    void startPlayback();
    void stopPlayback();
    void rewindPlayback();

    // For the window and the tests.
    GoogleMapOperator *mapOperator() const { return googleMapOperator; }
    QWebEngineView *webView() const { return view; }
    QTreeWidget *trackTree() const { return treeWidget; }
    QTreeView *pointList() const { return treeWidget_2; }
    const QVector<TrackPoint> &listedPoints() const { return playPoints; }
    int playbackStart() const { return playStart; }
    int filterRuleInForce() const { return filterRule; }
    float filterThresholdInForce() const { return filterThreshold; }
    ProfileChart *profileChart() const { return profileView; }
    QComboBox *profileAxisBox() const { return profileAxis; }
    // The figures of the ticked tracks; the window shows it where it likes.
    StatisticsTable *statisticsTable() const { return statsTable; }
    // Each track's figures, once worked out (empty while they are).
    const QVector<TripStats> &trackStatistics() const { return trackStats; }

public slots:
    void TreeWidgetItemChanged(QTreeWidgetItem *item, int column);
    void TreeWidgetItemDoubleClicked(QTreeWidgetItem *item, int column);
    void TreeWidget2ItemDoubleClicked(const QModelIndex &index);
    void addJSObject();
    // Fits the map to the ticked tracks.
    void zoomToTracks();
    // Playback speed step 0..2 from the tool bar's slider.
    void setSpeed(int speed);

signals:
    // A playback run has ended (finished, stopped or paused).
    void playThreadFinished();
    // The tracks' figures are ready after a change of tracks.
    void statisticsReady();
    // The user moved or zoomed the map.
    void mapViewChanged(double lat, double lng, int zoom);

private slots:
    void showPointAndSelectInfo(int index);
    void playEnd();
    void pickPoint(int row, bool clicked);

private:
    void setupForm();
    bool linesShown = false; // after the last check pass
    bool keepView = false;   // a double-click keeps its own zoom
    void fillPointList(const QVector<TrackPoint> &points, int format);
    QString trackLabel(quint32 startTime, int index) const;
    void startStatistics();
    void refreshStatistics();

    const QVector<Track> *tracks;
    const DisplayUnits *units;

    QTreeWidget *treeWidget = nullptr;
    QTreeView *treeWidget_2 = nullptr;
    QWebEngineView *view = nullptr;
    PointListModel *pointModel = nullptr;

    QTreeWidgetItem *rootItem = nullptr;
    GoogleMapOperator *googleMapOperator = nullptr;
    MapTransport *transport = nullptr;
    QWebEngineProfile *profile = nullptr;
    GoogleMapPage *page = nullptr;
    QWebChannel *channel = nullptr;
    // Mark points of each track, in point order (index = track row).
    QVector<QVector<TrackPoint>> markedPoints;
    QVector<TrackPoint> playPoints;
    float filterThreshold = -1.0f;
    int filterRule = -1;
    PlaybackThread *playbackThread = nullptr;
    int playStart = 0;
    int playSpeed = 0;
    int playbackRun = 0;

    ProfileChart *profileView = nullptr;
    QComboBox *profileAxis = nullptr;
    QPointer<StatisticsTable> statsTable; // a dialog may own it and go first
    QVector<TripStats> trackStats;
    QFutureWatcher<QVector<TripStats>> *statsWatcher = nullptr;
    int statsGeneration = 0;

    MapSource source;
    MbTilesSchemeHandler *tileHandler = nullptr;
    std::shared_ptr<MbTilesFile> offlineFile;
    int offlineMaps = 0;
};

#endif // MAPWIDGET_H
