#include "view/googlemappage.h"

#include <QLoggingCategory>
#include <QWebEngineProfile>

Q_LOGGING_CATEGORY(lcMapPage, "lx300.map")

const char GoogleMapPage::UserAgent[] =
    "Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/535.2 (KHTML, like Gecko) "
    "Chrome/15.0.874.121 Safari/535.2";

GoogleMapPage::GoogleMapPage(QWebEngineProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
{}

QWebEngineProfile *GoogleMapPage::createProfile(QObject *parent)
{
    auto *profile = new QWebEngineProfile(QStringLiteral("lx300-map"), parent);
    profile->setHttpUserAgent(QString::fromLatin1(UserAgent));
    profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    profile->setUrlRequestInterceptor(new MapRequestInterceptor(profile));
    return profile;
}

void GoogleMapPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &message,
                                             int lineNumber, const QString &sourceID)
{
    qCDebug(lcMapPage) << sourceID << lineNumber << message;
}

bool MapRequestInterceptor::needsReferer(const QUrl &url)
{
    return url.host() == QLatin1String("tile.openstreetmap.org");
}

void MapRequestInterceptor::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    info.setHttpHeader("User-Agent", GoogleMapPage::UserAgent);
    // Only an origin: the engine cancels a cross-site request whose Referer
    // says more than its referrer policy allows.
    if (needsReferer(info.requestUrl()))
        info.setHttpHeader("Referer", "https://www.trekmont.com/");
}
