#include "windowplacement.h"

#include <QtGlobal>

#include <algorithm>

namespace
{

QSize frameExtra(const QMargins &frame)
{
    return {frame.left() + frame.right(), frame.top() + frame.bottom()};
}

// Offset that centres `length` in `available`, never before its start.
int centred(int start, int available, int length)
{
    return start + qMax(0, (available - length) / 2);
}

} // namespace

WindowPlacement StartPlacement(const QRect &work, const QMargins &frame, const QSize &wanted,
                               const QSize &minimum, const QSize &maximum)
{
    const QSize room = work.size() - frameExtra(frame);
    const QSize client(
        qMax(minimum.width(), std::min({wanted.width(), maximum.width(), room.width()})),
        qMax(minimum.height(), std::min({wanted.height(), maximum.height(), room.height()})));
    const QSize outer = client + frameExtra(frame);
    return {QPoint(centred(work.left(), work.width(), outer.width()),
                   centred(work.top(), work.height(), outer.height())),
            client};
}

WindowPlacement MaximizedPlacement(const QRect &work, const QMargins &frame, int width,
                                   const QSize &minimum, const QSize &maximum)
{
    const int height = work.height() - frame.top() - frame.bottom();
    return {work.topLeft(),
            QSize(qBound(minimum.width(), width, maximum.width()),
                  qBound(minimum.height(), height, qMax(minimum.height(), maximum.height())))};
}
