// The program's entry sequence: splash, the three windows, the splash hold,
// then the message loop until the main window closes.
#pragma once

#include <QString>

#include <functional>
#include <memory>

class QApplication;
class TfrmLeecher;
class TfrmOptions;
class TfrmProxy;

namespace gui {

inline constexpr qint64 SplashHoldMs = 2400;

// The three windows, created in order: main window, Options dialog, analyser.
struct TWindows
{
    std::unique_ptr<TfrmLeecher> leecher;
    std::unique_ptr<TfrmOptions> options;
    std::unique_ptr<TfrmProxy> proxy;

    TWindows();
    TWindows(TWindows &&) noexcept;
    TWindows &operator=(TWindows &&) noexcept;
    ~TWindows(); // the other two go first, without their close handlers
};

TWindows CreateWindows(const QString &folder);

// Blocks, without processing any events, until more than `holdMs`
// milliseconds have passed since the tick `t0`; sleeps while it waits.
void HoldSince(quint32 t0, qint64 holdMs = SplashHoldMs);

// Runs the whole program with its files in `folder`; returns the exit code.
// `prepare` is handed the windows once they exist, before the message loop.
int RunProgram(QApplication &app, const QString &folder,
               const std::function<void(TWindows &)> &prepare = {});

} // namespace gui
