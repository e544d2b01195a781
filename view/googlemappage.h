#ifndef GOOGLEMAPPAGE_H
#define GOOGLEMAPPAGE_H

#include <QWebEnginePage>
#include <QWebEngineUrlRequestInterceptor>

class QWebEngineProfile;

// The map page. Every request it makes carries one fixed user-agent string;
// its profile keeps map tiles in a disk cache between runs.
class GoogleMapPage : public QWebEnginePage
{
    Q_OBJECT

public:
    static const char UserAgent[];
    // What tile requests to network servers say instead: the program and
    // where to reach its maker, as the tile servers' policies ask.
    static const QByteArray TileUserAgent;
    static constexpr qint64 CacheBytes = 256 * 1024 * 1024;

    explicit GoogleMapPage(QWebEngineProfile *profile, QObject *parent = nullptr);

    // The profile the map page needs: named (so tiles are cached on disk),
    // with the fixed user agent and the tile requests' Referer.
    static QWebEngineProfile *createProfile(QObject *parent);

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                  int lineNumber, const QString &sourceID) override;
};

// Tile servers want to know who asks: tile requests to the network carry the
// program's own User-Agent and a Referer (a page from the program's resources
// sends none); every other request carries the page's fixed user agent.
class MapRequestInterceptor : public QWebEngineUrlRequestInterceptor
{
    Q_OBJECT

public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo &info) override;
    static bool isNetworkTile(const QUrl &url, QWebEngineUrlRequestInfo::ResourceType type);
};

#endif // GOOGLEMAPPAGE_H
