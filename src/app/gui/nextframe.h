#pragma once

#include <chrono>
#include <functional>

class QQuickWindow;

// Runs work on the main thread once window has shown its next frame, so that
// work which is not needed for that frame stays off its path. A window that
// shows no frame within fallback (never exposed) runs it then. Nothing runs
// when the window goes first.
void afterNextFrame(QQuickWindow *window, std::function<void()> work,
    std::chrono::milliseconds fallback = std::chrono::milliseconds(250));
