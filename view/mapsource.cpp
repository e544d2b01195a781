#include "view/mapsource.h"

#include <QSettings>
#include <QUrl>

namespace MapSources {

namespace {
constexpr int MaxOfflineFiles = 10;
} // namespace

QList<MapSource> builtIn()
{
    MapSource osm;
    osm.name = QStringLiteral("OpenStreetMap");
    osm.urlTemplate = QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png");
    osm.attribution = QStringLiteral(
        "&copy; <a href=\"https://www.openstreetmap.org/copyright\">OpenStreetMap</a> "
        "contributors");
    osm.maxZoom = 19;
    MapSource topo;
    topo.name = QStringLiteral("OpenTopoMap");
    topo.urlTemplate = QStringLiteral("https://{s}.tile.opentopomap.org/{z}/{x}/{y}.png");
    topo.subdomains = QStringLiteral("abc");
    topo.attribution = QStringLiteral(
        "Map data: &copy; <a href=\"https://www.openstreetmap.org/copyright\">OpenStreetMap</a> "
        "contributors, SRTM | Map style: &copy; <a "
        "href=\"https://opentopomap.org\">OpenTopoMap</a> "
        "(CC-BY-SA)");
    topo.maxZoom = 17;
    return {osm, topo};
}

QString check(const MapSource &source)
{
    if (source.name.trimmed().isEmpty())
        return QStringLiteral("The source needs a name.");
    // Offline maps are known by their file's path: a name must not look like one.
    if (source.name.contains(QLatin1Char('/')) || source.name.contains(QLatin1Char('\\')) ||
        source.name.endsWith(QLatin1String(".mbtiles"), Qt::CaseInsensitive))
        return QStringLiteral("A source's name cannot hold / or \\ or end in .mbtiles.");
    const QString t = source.urlTemplate.trimmed();
    if (!t.contains(QLatin1String("{z}")) || !t.contains(QLatin1String("{x}")) ||
        !t.contains(QLatin1String("{y}")))
        return QStringLiteral("The URL template needs {z}, {x} and {y}.");
    const QUrl url(QString(t).replace(QLatin1Char('{'), QLatin1Char('0')).remove(QLatin1Char('}')));
    if (!url.isValid() ||
        (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")) ||
        url.host().isEmpty())
        return QStringLiteral("The URL template must be an http or https address.");
    if (source.attribution.trimmed().isEmpty())
        return QStringLiteral("The attribution is required: the map shows it.");
    if (source.maxZoom < 0 || source.maxZoom > 22)
        return QStringLiteral("The maximum zoom is 0 to 22.");
    return QString();
}

namespace {
constexpr int MaxUserSources = 256;
} // namespace

QList<MapSource> userSources(QSettings &settings)
{
    QList<MapSource> sources;
    // The stored count is not trusted: a hand-edited 100,000,000 would keep the window busy.
    const int n = qMin(settings.beginReadArray(QStringLiteral("map/sources")), MaxUserSources);
    for (int i = 0; i < n; ++i) {
        settings.setArrayIndex(i);
        MapSource s;
        s.name = settings.value(QStringLiteral("name")).toString();
        s.urlTemplate = settings.value(QStringLiteral("url")).toString();
        s.attribution = settings.value(QStringLiteral("attribution")).toString();
        s.maxZoom = settings.value(QStringLiteral("maxZoom"), 19).toInt();
        s.subdomains =
            settings.value(QStringLiteral("subdomains"), QStringLiteral("abc")).toString();
        // A hand-edited store cannot smuggle in a source the dialog would refuse.
        if (check(s).isEmpty())
            sources.append(s);
    }
    settings.endArray();
    return sources;
}

void setUserSources(QSettings &settings, const QList<MapSource> &sources)
{
    settings.remove(QStringLiteral("map/sources"));
    settings.beginWriteArray(QStringLiteral("map/sources"), int(sources.size()));
    for (int i = 0; i < sources.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(QStringLiteral("name"), sources[i].name);
        settings.setValue(QStringLiteral("url"), sources[i].urlTemplate);
        settings.setValue(QStringLiteral("attribution"), sources[i].attribution);
        settings.setValue(QStringLiteral("maxZoom"), sources[i].maxZoom);
        settings.setValue(QStringLiteral("subdomains"), sources[i].subdomains);
    }
    settings.endArray();
}

QStringList offlineFiles(QSettings &settings)
{
    return settings.value(QStringLiteral("map/offlineFiles")).toStringList();
}

void addOfflineFile(QSettings &settings, const QString &path)
{
    QStringList files = offlineFiles(settings);
    files.removeAll(path);
    files.prepend(path);
    settings.setValue(QStringLiteral("map/offlineFiles"), files.mid(0, MaxOfflineFiles));
}

void removeOfflineFile(QSettings &settings, const QString &path)
{
    QStringList files = offlineFiles(settings);
    files.removeAll(path);
    settings.setValue(QStringLiteral("map/offlineFiles"), files);
}

} // namespace MapSources
