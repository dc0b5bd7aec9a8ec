// The language of the windows. Their captions are written in Chinese, which is
// also the language shown unless the desktop asks for English or the command
// line says otherwise; English comes from a translation compiled into the
// program.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QCoreApplication;

namespace gui {

enum class TLanguage { Chinese, English };

// "zh" or "en", as given to --lang; nothing for any other text.
std::optional<TLanguage> LanguageFromCode(const QString &code);

// The first of the desktop's preferred languages (most preferred first, as
// QLocale::uiLanguages gives them) that the program speaks; Chinese when none is.
TLanguage ChooseLanguage(const QStringList &uiLanguages);

// The language the desktop asks for (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
TLanguage DesktopLanguage();

// Makes `language` the language of every caption created from now on.
// Returns false, and leaves the captions Chinese, when the English
// translation cannot be loaded.
bool InstallLanguage(TLanguage language);

} // namespace gui
