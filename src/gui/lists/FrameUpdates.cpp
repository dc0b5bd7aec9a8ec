#include "FrameUpdates.h"

#include <QTableView>

#include <climits>
#include <utility>

TFrameUpdates::TFrameUpdates(QObject *parent) : QObject(parent)
{
    FTimer.setInterval(FrameMs);
    connect(&FTimer, &QTimer::timeout, this, &TFrameUpdates::FrameEnd);
}

void TFrameUpdates::RowChanged(int row)
{
    if (row < 0)
        return;
    if (size_t(row) >= FMarked.size())
        FMarked.resize(size_t(row) + 1);
    if (!FMarked[size_t(row)]) {
        FMarked[size_t(row)] = true;
        FRows.push_back(row);
    }
    if (!FTimer.isActive())
        FTimer.start();
}

void TFrameUpdates::Post(int slot, std::function<void()> show)
{
    TSlot &s = FSlots[size_t(slot)];
    if (s.shown) {
        s.pending = std::move(show);
        return;
    }
    s.pending = nullptr;
    s.shown = true;
    if (!FTimer.isActive())
        FTimer.start();
    show();
}

void TFrameUpdates::Drop(int slot)
{
    FSlots[size_t(slot)].pending = nullptr;
}

bool TFrameUpdates::ShowPending()
{
    bool any = !FRows.empty();
    // Taken out first: a handler may report again, into the next frame.
    std::vector<int> rows;
    rows.swap(FRows);
    for (int row : rows)
        FMarked[size_t(row)] = false;
    if (OnRow)
        for (int row : rows)
            OnRow(row);
    for (TSlot &s : FSlots) {
        if (!s.pending)
            continue;
        const std::function<void()> show = std::exchange(s.pending, nullptr);
        s.shown = true;
        any = true;
        show();
    }
    return any;
}

void TFrameUpdates::Flush()
{
    ShowPending();
}

void TFrameUpdates::FrameEnd()
{
    // A new frame: a slot that showed nothing in the last one shows its next
    // value at once again.
    for (TSlot &s : FSlots)
        s.shown = s.pending != nullptr;
    if (!ShowPending())
        FTimer.stop();
}

bool RowOnScreen(const QTableView *view, int row)
{
    const int first = view->rowAt(0);
    if (!view->isVisible() || first < 0)
        return true;
    const int last = view->rowAt(view->viewport()->height() - 1);
    return row >= first && row <= (last < 0 ? INT_MAX : last);
}
