// The desktop program from its command line to its end: reads the command
// line, settles the data folder, makes sure no other Vexo works on that folder
// (a second start brings the first to the front instead), then runs the
// windows.
#pragma once

class QApplication;
class TfrmLeecher;

namespace util {
class TSingleInstance;
}

namespace gui {

// The desktop entry's name (without ".desktop"), also the icon's name.
extern const char *const AppId;

// Returns the program's exit code.
int StartProgram(QApplication &app);

// A later start with the same folder brings `main` to the front.
void ConnectProgram(util::TSingleInstance &instance, TfrmLeecher &main);

} // namespace gui
