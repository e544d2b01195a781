#ifndef TRACKCOLOURS_H
#define TRACKCOLOURS_H

#include <QColor>
#include <QStringList>

// The colours of the tracks' lines, track by track in this order and again from the start:
// the map draws each track in its colour and the tree shows it beside the track. Yellow and
// pink are deep shades: pale ones vanish on a light map.
namespace TrackColours {

inline const QStringList &names()
{
    static const QStringList list{"#ff0000", "#00ff00", "#0000ff", "#00ffff",
                                  "#e6b800", "#a020f0", "#ff4f9a"};
    return list;
}

inline QColor of(int track)
{
    return QColor(names().at(track % names().size()));
}

} // namespace TrackColours

#endif // TRACKCOLOURS_H
