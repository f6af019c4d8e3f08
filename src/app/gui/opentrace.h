#pragma once

#include <QObject>

class QQuickWindow;

// The steps of opening the popover, timed for the benchmarks: with
// QUILLMERE_OPEN_TRACE set, each step prints "quillmere-open STEP MICROSECONDS"
// to standard error, on the monotonic clock (CLOCK_MONOTONIC) that another
// process can compare with its own stamps. Without it nothing is printed and
// nothing is connected.
namespace opentrace {

bool enabled();
// Prints step's stamp now.
void mark(const char *step);
// Prints "first-frame" when window next shows a frame it has drawn.
void markFirstFrame(QQuickWindow *window);

} // namespace opentrace
