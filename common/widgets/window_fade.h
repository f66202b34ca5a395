#pragma once
// Windows closed by the user fade out over 800 ms before they are hidden.

#include <QWidget>
#include <functional>

namespace widgets {

constexpr int FadeDurationMs = 800;

// Fades `window` out over `durationMs`, hides it, restores its opacity for the next showing
// and then calls `done` (if any). Where the platform has no window opacity the fade is
// invisible but the timing is kept.
void FadeOutAndHide(QWidget* window, std::function<void()> done = {},
                    int durationMs = FadeDurationMs);

} // namespace widgets
