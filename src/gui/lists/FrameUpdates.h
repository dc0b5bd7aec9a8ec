// Hands a run's reports on to the screen at most once per frame.
//
// A run reports far more often than a screen can show: a row changes several
// times per site, the status line, the counters and the gauge once per site,
// thousands of times a second. Each report told to a widget at once costs a
// repaint (the gauge even paints on the spot), so the window would spend most
// of its time drawing states nobody sees.
//
// Rows: a changed row is marked and handed on (OnRow) at the end of the
// frame, once however often it changed. Values (a label's text, the gauge):
// each has a slot; a value is shown at once when its slot showed nothing
// during the current frame, otherwise it waits for the frame's end, a later
// one for the same slot replacing it. So an isolated report shows at once,
// a stream of them once per frame, and the last one of each slot always.
// Flush() shows everything waiting now (the run's end: counters and gauge
// exact at once). Drop() forgets a waiting value that a direct write is
// about to supersede.
#pragma once

#include <QObject>
#include <QTimer>

#include <array>
#include <functional>
#include <vector>

class QTableView;

class TFrameUpdates : public QObject
{
    Q_OBJECT
public:
    // 30 frames a second: smooth for counters and text, and a view's repaint
    // costs the run little.
    static constexpr int FrameMs = 33;
    static constexpr int SlotCount = 8;

    explicit TFrameUpdates(QObject *parent = nullptr);

    // Called once per changed row at the end of the frame.
    std::function<void(int row)> OnRow;

    void RowChanged(int row);
    // `show` puts the slot's value on screen (now or at the frame's end).
    void Post(int slot, std::function<void()> show);
    void Drop(int slot);
    void Flush();

private:
    struct TSlot
    {
        std::function<void()> pending;
        bool shown = false; // showed a value during the current frame
    };
    void FrameEnd();
    // True when anything was shown.
    bool ShowPending();

    QTimer FTimer;
    std::vector<int> FRows;
    std::vector<bool> FMarked;
    std::array<TSlot, SlotCount> FSlots;
};

// Whether a row of the view is on screen, so that a change to it needs a
// redraw: a row off screen is read afresh when it scrolls in. Every row counts
// while the view is hidden or has not laid its rows out.
bool RowOnScreen(const QTableView *view, int row);
