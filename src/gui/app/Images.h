// The small pictures of the windows, drawn at run time.
#pragma once

#include <QIcon>
#include <QImage>
#include <QList>
#include <QPixmap>

namespace gui {

// The six 16 x 16 site-state images, in state-code order: a computer, a green
// tick, a red cross, a stopwatch, a smiling face, a blue arrow pointing down.
QList<QPixmap> SiteStateImages();

// The ten 16 x 16 images of the site menu: add, delete, open, save, browser,
// verify, timeout, list, zero proxies, copy.
QList<QPixmap> MenuImages();

// The analyser's ten 16 x 16 images (illstProxy). Row states use 0 (never
// checked: a computer), 2 (bad: a red cross), 3 (timeout: a stopwatch),
// 6 (good: a green tick) and 8 (unknown: a question mark); its menus use
// 1 (add), 2 (delete), 5 (copy) and 9 (desktop proxy: a globe).
QList<QPixmap> ProxyImages();

// Glyphs of the analyser's side buttons that have no menu image of their own.
QPixmap CleanGlyph();
QPixmap RetryGlyph();

// Glyphs of the main window's four flat buttons.
QPixmap OptionsGlyph();
QPixmap AnalyserGlyph();
QPixmap ClipboardGlyph();
QPixmap SearchGlyph();

// The program's own icon (tray and windows), 16 x 16.
QPixmap AppIcon();
// The same icon drawn at `size` x `size` pixels (the menu entry's icons).
QImage AppIconImage(int size);
// The icon at the usual sizes, for the windows' title bars and task bars.
QIcon AppIconSet();

} // namespace gui
