// The message, input and file dialogs the windows show. Each is a replaceable
// function so tests can answer them without a screen and without blocking.
#pragma once

#include <QString>

#include <functional>

class QUrl;
class QWidget;

namespace gui {

struct TFileDialogSetup
{
    QString title;
    QString filter;        // e.g. "Text File (*.txt)"
    QString defaultSuffix; // without the dot
    bool save = false;     // save dialog: asks before overwriting
};

struct TDialogs
{
    // The standard error box: the application title as caption, an error icon.
    std::function<void(QWidget *parent, const QString &message)> error;
    // An information box with an OK button.
    std::function<void(QWidget *parent, const QString &text, const QString &caption)> information;
    // A one-line input box; returns false when cancelled.
    std::function<bool(QWidget *parent, const QString &caption, const QString &prompt,
                       QString &value)>
        input;
    // An open or save dialog; returns the chosen file or an empty string.
    std::function<QString(QWidget *parent, const TFileDialogSetup &setup)> file;
    // A yes/no question that does not hold the event loop: `answer` is called
    // once the user has chosen (never when the parent went first).
    std::function<void(QWidget *parent, const QString &caption, const QString &text,
                       const std::function<void(bool yes)> &answer)>
        ask;
    // Hands a web address to the desktop's browser; the result is not checked.
    std::function<void(const QUrl &url)> openUrl;
};

// The dialogs in use; starts with the real ones.
TDialogs &Dialogs();

// Runs `step`; an exception it throws is shown in the standard error box.
// Returns false when it threw.
bool ReportErrors(QWidget *parent, const std::function<void()> &step);

} // namespace gui
