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

    explicit GoogleMapPage(QWebEngineProfile *profile, QObject *parent = nullptr);

    // The profile the map page needs: named (so tiles are cached on disk),
    // with the fixed user agent and the tile requests' Referer.
    static QWebEngineProfile *createProfile(QObject *parent);

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                  int lineNumber, const QString &sourceID) override;
};

// Tile servers refuse requests without a Referer, and a page from the
// program's resources sends none: add one, and the user agent, to each.
class MapRequestInterceptor : public QWebEngineUrlRequestInterceptor
{
    Q_OBJECT

public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo &info) override;
    static bool needsReferer(const QUrl &url);
};

#endif // GOOGLEMAPPAGE_H
