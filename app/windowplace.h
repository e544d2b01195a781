#ifndef WINDOWPLACE_H
#define WINDOWPLACE_H

#include <QRect>
#include <QSize>

class QWidget;

// Where windows open: always wholly on a screen, tool windows beside what they work on.
namespace WindowPlace {

// Shrinks and moves a top-level window (shown or not) so that it and its frame lie inside
// the available area of its screen: a geometry stored on a larger screen must not put the
// status bar or a Close button out of reach.
void keepOnScreen(QWidget *window);

// Gives a tool window at most `wanted`, within its screen, and puts it beside `avoid` (a
// global rectangle, the map say) on the side with the most room, covering as little of it as
// the screen allows.
void placeBeside(QWidget *window, QSize wanted, const QRect &avoid);

} // namespace WindowPlace

#endif // WINDOWPLACE_H
