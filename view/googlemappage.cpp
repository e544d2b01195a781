#include "view/googlemappage.h"

#include <QLoggingCategory>
#include <QWebEngineProfile>

Q_LOGGING_CATEGORY(lcMapPage, "lx300.map")

const char GoogleMapPage::UserAgent[] =
    "Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/535.2 (KHTML, like Gecko) "
    "Chrome/15.0.874.121 Safari/535.2";

const QByteArray GoogleMapPage::TileUserAgent =
    QByteArrayLiteral("LX-300/" LX300_VERSION " (+https://www.trekmont.com/)");

GoogleMapPage::GoogleMapPage(QWebEngineProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
{}

QWebEngineProfile *GoogleMapPage::createProfile(QObject *parent)
{
    auto *profile = new QWebEngineProfile(QStringLiteral("lx300-map"), parent);
    profile->setHttpUserAgent(QString::fromLatin1(UserAgent));
    profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    profile->setHttpCacheMaximumSize(int(CacheBytes));
    profile->setUrlRequestInterceptor(new MapRequestInterceptor(profile));
    return profile;
}

void GoogleMapPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &message,
                                             int lineNumber, const QString &sourceID)
{
    qCDebug(lcMapPage) << sourceID << lineNumber << message;
}

bool MapRequestInterceptor::isNetworkTile(const QUrl &url,
                                          QWebEngineUrlRequestInfo::ResourceType type)
{
    return type == QWebEngineUrlRequestInfo::ResourceTypeImage &&
           (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

void MapRequestInterceptor::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    if (!isNetworkTile(info.requestUrl(), info.resourceType())) {
        info.setHttpHeader("User-Agent", GoogleMapPage::UserAgent);
        return;
    }
    info.setHttpHeader("User-Agent", GoogleMapPage::TileUserAgent);
    // Only an origin: the engine cancels a request whose Referer says more than
    // the page's referrer policy ("origin", set in the page) allows.
    info.setHttpHeader("Referer", "https://www.trekmont.com/");
}
