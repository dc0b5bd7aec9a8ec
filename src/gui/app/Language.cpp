#include "Language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

namespace gui {

namespace {

// The English captions, compiled into the program's resources.
const QString EnglishTranslation = QStringLiteral(":/i18n/vexo_en.qm");

// The translator in use, owned by the application object.
QPointer<QTranslator> &Installed()
{
    static QPointer<QTranslator> translator;
    return translator;
}

} // namespace

std::optional<TLanguage> LanguageFromCode(const QString &code)
{
    if (code == QLatin1String("zh"))
        return TLanguage::Chinese;
    if (code == QLatin1String("en"))
        return TLanguage::English;
    return std::nullopt;
}

TLanguage ChooseLanguage(const QStringList &uiLanguages)
{
    // A desktop that prefers, say, German and then English gets English; one
    // that prefers Chinese before English keeps the Chinese captions.
    for (const QString &name : uiLanguages) {
        switch (QLocale(name).language()) {
        case QLocale::Chinese:
            return TLanguage::Chinese;
        case QLocale::English:
            return TLanguage::English;
        default:
            break;
        }
    }
    return TLanguage::Chinese;
}

TLanguage DesktopLanguage()
{
    return ChooseLanguage(QLocale::system().uiLanguages());
}

bool InstallLanguage(TLanguage language)
{
    QPointer<QTranslator> &installed = Installed();
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed.data();
    }
    if (language == TLanguage::Chinese)
        return true;
    auto *app = QCoreApplication::instance();
    if (!app)
        return false;
    auto *translator = new QTranslator(app);
    if (!translator->load(EnglishTranslation) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    installed = translator;
    return true;
}

} // namespace gui
