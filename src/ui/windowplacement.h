#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

// Where the main window goes: the frame, title bar included, lies within
// the screen's work area. Sizes are client sizes (what resize() takes),
// positions are the frame's (what move() takes); `frame` is what the window
// manager adds around the client area.
struct WindowPlacement {
    QPoint framePos;
    QSize client;
};

// Centred in the work area, the wanted size shrunk to what fits but never
// below the minimum; a window that cannot fit starts at the work area's top
// left, so its title bar stays reachable.
WindowPlacement StartPlacement(const QRect &work, const QMargins &frame, const QSize &wanted,
                               const QSize &minimum, const QSize &maximum);

// Maximized: the frame at the work area's top left with the work area's
// height; the width stays within its limits.
WindowPlacement MaximizedPlacement(const QRect &work, const QMargins &frame, int width,
                                   const QSize &minimum, const QSize &maximum);
