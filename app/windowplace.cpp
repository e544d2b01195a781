#include "app/windowplace.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace WindowPlace {

namespace {

constexpr int MinimumWidth = 420;

// The frame around the window's contents: the real one once shown, a title bar's worth
// before (window managers add it only then).
QMargins frameOf(const QWidget *window)
{
    const QRect frame = window->frameGeometry(), inner = window->geometry();
    if (window->isVisible() && frame != inner)
        return {inner.left() - frame.left(), inner.top() - frame.top(),
                frame.right() - inner.right(), frame.bottom() - inner.bottom()};
    return {4, 32, 4, 4};
}

QRect availableFor(const QWidget *window)
{
    const QScreen *screen = window->screen();
    return screen ? screen->availableGeometry() : QRect();
}

// Moves `r` by as little as it takes to lie inside `area` (it is no larger than `area`).
QRect movedInside(QRect r, const QRect &area)
{
    r.moveLeft(
        std::clamp(r.left(), area.left(), std::max(area.left(), area.right() - r.width() + 1)));
    r.moveTop(
        std::clamp(r.top(), area.top(), std::max(area.top(), area.bottom() - r.height() + 1)));
    return r;
}

} // namespace

void keepOnScreen(QWidget *window)
{
    const QRect area = availableFor(window);
    if (area.isEmpty() || window->isMaximized() || window->isFullScreen())
        return;
    const QMargins frame = frameOf(window);
    QRect outer = window->geometry().marginsAdded(frame);
    if (area.contains(outer))
        return;
    outer.setSize(outer.size().boundedTo(area.size()));
    outer = movedInside(outer, area);
    window->setGeometry(outer.marginsRemoved(frame));
}

void placeBeside(QWidget *window, QSize wanted, const QRect &avoid)
{
    const QRect area = availableFor(window);
    if (area.isEmpty())
        return;
    const QMargins frame = frameOf(window);
    QSize size = wanted.boundedTo(area.marginsRemoved(frame).size());
    // The side of `avoid` with the most room; the window narrows to fit it while it can
    // still show its table, and covers part of `avoid` only on a screen without such room.
    const int left = avoid.left() - area.left(), right = area.right() - avoid.right();
    const int side = std::max(left, right) - frame.left() - frame.right();
    if (side >= std::max(MinimumWidth, window->minimumSizeHint().width()))
        size.setWidth(std::min(size.width(), side));
    QRect outer(QPoint(), size.grownBy(frame));
    outer.moveTop(avoid.top());
    if (right >= left)
        outer.moveLeft(avoid.right() + 1);
    else
        outer.moveRight(avoid.left() - 1);
    window->setGeometry(movedInside(outer, area).marginsRemoved(frame));
}

} // namespace WindowPlace
