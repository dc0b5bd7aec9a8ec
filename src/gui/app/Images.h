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
