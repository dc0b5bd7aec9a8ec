#include "CaptionWalk.h"
#include "support/WindowFixture.h"

#include "analyser/TfrmProxy.h"
#include "app/CommandLine.h"
#include "app/Language.h"
#include "app/TfrmLeecher.h"
#include "settings/TfrmOptions.h"
#include "tray/NotifyIcon.h"

#include "support/LocationDbs.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QProcess>
#include <QTableView>
#include <QToolButton>

using gui::TLanguage;

namespace {

QStringList Args(std::initializer_list<const char *> list)
{
    QStringList args{QStringLiteral("vexo")};
    for (const char *a : list)
        args << QString::fromUtf8(a);
    return args;
}

QString Join(const QList<TCaption> &captions)
{
    QStringList lines;
    for (const TCaption &c : captions)
        lines << c.where + QStringLiteral(": ") + c.text;
    return lines.join(QLatin1Char('\n'));
}

QList<TCaption> AllCaptions(const gui::TWindows &w)
{
    QList<TCaption> all = CollectCaptions(w.leecher.get());
    all += CollectCaptions(w.options.get());
    all += CollectCaptions(w.proxy.get());
    all.append({QStringLiteral("NotifyIcon"), w.leecher->NotifyIcon->Tip()});
    return all;
}

QString TextOf(const QWidget *window, const char *name)
{
    if (auto *b = window->findChild<QAbstractButton *>(QLatin1String(name)))
        return b->text();
    if (auto *a = window->findChild<QAction *>(QLatin1String(name)))
        return a->text();
    if (auto *l = window->findChild<QLabel *>(QLatin1String(name)))
        return l->text();
    ADD_FAILURE() << "no control " << name;
    return {};
}

QString Header(const QWidget *window, const char *view, int column)
{
    auto *v = window->findChild<QTableView *>(QLatin1String(view));
    return v ? v->model()->headerData(column, Qt::Horizontal).toString() : QString();
}

bool HasCaption(const QList<TCaption> &captions, const QString &text)
{
    return std::any_of(captions.begin(), captions.end(),
                       [&](const TCaption &c) { return c.text == text; });
}

// Shown (offscreen), so that layouts have placed and sized everything.
void ShowAll(gui::TWindows &w)
{
    w.leecher->show();
    w.leecher->cmdOptionsClick();
    w.leecher->cmdProxyClick();
    QCoreApplication::processEvents();
}

// The width a label, check box or button needs to show its whole caption; 0
// for other widgets. (Push and tool buttons are asked for their text only:
// their size hints add the style's minimum button width.)
int NeededWidth(const QWidget *w)
{
    if (auto *l = qobject_cast<const QLabel *>(w))
        return l->text().isEmpty() ? 0 : l->sizeHint().width();
    if (qobject_cast<const QCheckBox *>(w))
        return w->sizeHint().width();
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        return b->text().isEmpty() ? 0 : b->fontMetrics().horizontalAdvance(b->text()) + 6;
    return 0;
}

// Captions that do not fit: a label, check box or button narrower than its
// text, a group box title running into its help button, or two captions of
// a hand-placed panel drawn over each other.
QStringList CaptionsThatDoNotFit(const QWidget *window)
{
    QStringList faults;
    QList<const QWidget *> all{window};
    for (const QWidget *w : window->findChildren<QWidget *>())
        all << w;
    for (const QWidget *w : all) {
        if (!w->isVisible())
            continue;
        if (const int needs = NeededWidth(w); needs > w->width())
            faults << QStringLiteral("%1 '%2' needs %3 pixels, has %4")
                          .arg(Describe(w), CaptionText(w))
                          .arg(needs)
                          .arg(w->width());
        if (auto *g = qobject_cast<const QGroupBox *>(w)) {
            const int room = g->width() - 24; // the help button sits at the top right
            const int needs = g->fontMetrics().horizontalAdvance(g->title()) + 8;
            if (needs > room)
                faults << QStringLiteral("group '%1' needs %2 pixels, has %3")
                              .arg(g->title())
                              .arg(needs)
                              .arg(room);
        }
        if (w->layout())
            continue;
        // Hand-placed children: the parts that show text must not meet.
        QList<QPair<QRect, const QWidget *>> inked;
        for (const QWidget *c : w->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (!c->isVisible() || c->isWindow())
                continue;
            QRect r = c->geometry();
            if (const int needs = NeededWidth(c))
                r.setWidth(std::min(r.width(), needs));
            for (const auto &[other, who] : inked)
                if (r.intersects(other))
                    faults << QStringLiteral("'%1' overlaps '%2'")
                                  .arg(CaptionText(c), CaptionText(who));
            inked.append({r, c});
        }
    }
    return faults;
}

} // namespace

TEST(LanguageChoice, CodesAndTheDesktopsPreferences)
{
    EXPECT_EQ(gui::LanguageFromCode(QStringLiteral("zh")), TLanguage::Chinese);
    EXPECT_EQ(gui::LanguageFromCode(QStringLiteral("en")), TLanguage::English);
    for (const char *bad : {"", "de", "EN", "en_US", "zh-CN", " en"})
        EXPECT_FALSE(gui::LanguageFromCode(QString::fromLatin1(bad)).has_value()) << bad;

    const std::pair<QStringList, TLanguage> cases[] = {
        {{}, TLanguage::Chinese},
        {{QStringLiteral("C")}, TLanguage::Chinese},
        {{QStringLiteral("en-US"), QStringLiteral("en")}, TLanguage::English},
        {{QStringLiteral("en_GB")}, TLanguage::English},
        {{QStringLiteral("zh-CN"), QStringLiteral("zh")}, TLanguage::Chinese},
        {{QStringLiteral("zh-Hant-TW")}, TLanguage::Chinese},
        // The first language the program speaks wins, wherever it stands.
        {{QStringLiteral("de-DE"), QStringLiteral("de"), QStringLiteral("en")}, TLanguage::English},
        {{QStringLiteral("zh-CN"), QStringLiteral("en-US")}, TLanguage::Chinese},
        {{QStringLiteral("fr-FR"), QStringLiteral("fr")}, TLanguage::Chinese},
    };
    for (const auto &[languages, expected] : cases)
        EXPECT_EQ(gui::ChooseLanguage(languages), expected)
            << languages.join(QLatin1Char(',')).toStdString();
}

TEST(LanguageChoice, TheLangOption)
{
    EXPECT_FALSE(gui::ParseCommandLine(Args({})).language.has_value());
    EXPECT_EQ(gui::ParseCommandLine(Args({"--lang", "en"})).language, TLanguage::English);
    EXPECT_EQ(gui::ParseCommandLine(Args({"--lang=zh"})).language, TLanguage::Chinese);
    const gui::TCommandLine both = gui::ParseCommandLine(Args({"--dir", "d", "--lang", "en"}));
    EXPECT_TRUE(both.error.isEmpty());
    EXPECT_EQ(both.dir, QStringLiteral("d"));
    EXPECT_EQ(both.language, TLanguage::English);
    EXPECT_TRUE(gui::ParseCommandLine(Args({"--help"}))
                    .helpText.contains(QStringLiteral("--lang <language>")));

    for (auto bad : {Args({"--lang"}), Args({"--lang", "fr"}), Args({"--lang="}),
                     Args({"--lang", "en", "--lang", "zh"})}) {
        const gui::TCommandLine parsed = gui::ParseCommandLine(bad);
        EXPECT_FALSE(parsed.error.isEmpty()) << bad.join(QLatin1Char(' ')).toStdString();
    }
    EXPECT_TRUE(gui::ParseCommandLine(Args({"--lang", "fr"})).error.contains(QStringLiteral("fr")));
}

// The desktop's language is read from the environment once per program, so
// each setting is tried in a fresh copy of this test program.
TEST(LanguageChoice, ChildReportsTheDesktopLanguage)
{
    const QByteArray expected = qgetenv("VEXO_EXPECT_LANGUAGE");
    if (expected.isEmpty())
        GTEST_SKIP() << "run by DesktopLanguageFollowsTheEnvironment";
    EXPECT_EQ(gui::DesktopLanguage() == TLanguage::English ? "en" : "zh", expected.toStdString());
}

TEST(LanguageChoice, DesktopLanguageFollowsTheEnvironment)
{
    struct TCase
    {
        QStringList env;
        const char *expected;
    };
    const TCase cases[] = {
        {{QStringLiteral("LANG=en_US.UTF-8")}, "en"},
        {{QStringLiteral("LANG=en_GB.UTF-8"), QStringLiteral("LANGUAGE=en_GB:en")}, "en"},
        {{QStringLiteral("LANG=zh_CN.UTF-8")}, "zh"},
        {{QStringLiteral("LANG=C")}, "zh"},
        {{}, "zh"},
        {{QStringLiteral("LANG=de_DE.UTF-8")}, "zh"},
        {{QStringLiteral("LANG=de_DE.UTF-8"), QStringLiteral("LANGUAGE=de:en")}, "en"},
        {{QStringLiteral("LANG=en_US.UTF-8"), QStringLiteral("LANGUAGE=zh_CN:en")}, "zh"},
        {{QStringLiteral("LANG=zh_CN.UTF-8"), QStringLiteral("LC_ALL=en_US.UTF-8")}, "en"},
        {{QStringLiteral("LANG=zh_CN.UTF-8"), QStringLiteral("LC_MESSAGES=en_AU.UTF-8")}, "en"},
        {{QStringLiteral("LANG=en_US.UTF-8"), QStringLiteral("LC_MESSAGES=zh_TW.UTF-8")}, "zh"},
    };
    for (const TCase &c : cases) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES"})
            env.remove(QString::fromLatin1(name));
        for (const QString &setting : c.env)
            env.insert(setting.section(QLatin1Char('='), 0, 0),
                       setting.section(QLatin1Char('='), 1));
        env.insert(QStringLiteral("VEXO_EXPECT_LANGUAGE"), QString::fromLatin1(c.expected));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess child;
        child.setProcessEnvironment(env);
        child.start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("--gtest_filter=LanguageChoice.ChildReportsTheDesktopLanguage")});
        ASSERT_TRUE(child.waitForFinished(60000));
        const QByteArray output = child.readAllStandardOutput();
        EXPECT_EQ(child.exitCode(), 0) << c.env.join(QLatin1Char(' ')).toStdString() << "\n"
                                       << output.toStdString();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
    }
}

class EnglishWindows : public WindowFixture
{
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        ASSERT_TRUE(gui::InstallLanguage(TLanguage::English));
    }
    void TearDown() override
    {
        EXPECT_TRUE(gui::InstallLanguage(TLanguage::Chinese));
        WindowFixture::TearDown();
    }
};

TEST_F(EnglishWindows, NoChineseCaptionIsLeft)
{
    gui::TWindows w = Start();
    ShowAll(w);
    const QList<TCaption> captions = AllCaptions(w);
    QList<TCaption> chinese;
    for (const TCaption &c : captions)
        if (HasCjk(c.text))
            chinese << c;
    EXPECT_TRUE(chinese.isEmpty()) << Join(chinese).toStdString();
    EXPECT_GT(captions.size(), 100) << Join(captions).toStdString();

    // What the translation says, and that one source text can read differently
    // where it does something else.
    EXPECT_EQ(TextOf(w.leecher.get(), "cmdStart"), QStringLiteral("Start"));
    EXPECT_EQ(TextOf(w.leecher.get(), "DeleteSitesWhichReturned0Proxies1"),
              QStringLiteral("Delete Sites with 0 Proxies"));
    EXPECT_EQ(TextOf(w.options.get(), "chkSpecialGoogle"),
              QStringLiteral("Try \"special\" Google leeching"));
    EXPECT_EQ(w.proxy->windowTitle(), QStringLiteral("Proxy Analyser"));
    EXPECT_EQ(Header(w.proxy.get(), "lstProxy", 4), QStringLiteral("Anonymous"));
    EXPECT_EQ(Header(w.leecher.get(), "lstSite", 1), QStringLiteral("Status"));
    EXPECT_EQ(TextOf(w.proxy.get(), "cmdRetry"), QStringLiteral("Retry Proxies"));
    EXPECT_EQ(TextOf(w.proxy.get(), "RetryBadProxies1"), QStringLiteral("Retry Bad Proxies"));

    // Texts that were English already stay as they are.
    EXPECT_EQ(w.leecher->windowTitle(), QStringLiteral("Vexo 1.3"));
    EXPECT_EQ(TextOf(w.proxy.get(), "lblStatus"),
              QStringLiteral("Loaded 0 Proxies") + testsupport::NoLocationNote());
    EXPECT_TRUE(HasCaption(captions, QStringLiteral("?")));
}

// The captions stay the Chinese ones, byte for byte, without a translation
// and after `--lang zh` has replaced an English one.
TEST_F(WindowFixture, ChineseCaptionsByDefaultAndAfterSwitchingBack)
{
    for (bool afterEnglish : {false, true}) {
        if (afterEnglish) {
            ASSERT_TRUE(gui::InstallLanguage(TLanguage::English));
            ASSERT_TRUE(gui::InstallLanguage(TLanguage::Chinese));
        }
        gui::TWindows w = Start();
        EXPECT_EQ(TextOf(w.leecher.get(), "cmdStart"), QStringLiteral("开始"));
        EXPECT_EQ(TextOf(w.leecher.get(), "cmdAbort"), QStringLiteral("中断"));
        EXPECT_EQ(w.leecher->cmdGoogle->toolTip(), QStringLiteral("从 Google 吸附代理"));
        EXPECT_EQ(TextOf(w.leecher.get(), "DeleteSitesWhichReturned0Proxies1"),
                  QStringLiteral("删除0代理站点"));
        EXPECT_EQ(TextOf(w.leecher.get(), "lblStatus"), QStringLiteral("等待载入"));
        EXPECT_EQ(Header(w.leecher.get(), "lstProxy", 1), QStringLiteral("端口"));
        EXPECT_EQ(w.options->windowTitle(), QStringLiteral("选项"));
        EXPECT_EQ(TextOf(w.options.get(), "chkSpecial"),
                  QString::fromUtf8("\xE5\xB0\x9D\xE8\xAF\x95\xE2\x80\x9C\xE9\xAB\x98\xE7\xBA\xA7"
                                    "\xE2\x80\x9D\xE5\x90\xB8\xE9\x99\x84")); // 尝试“高级”吸附
        EXPECT_TRUE(HasCaption(CollectCaptions(w.options.get()), QStringLiteral("密  码:")));
        EXPECT_EQ(w.proxy->windowTitle(), QStringLiteral("代理分析"));
        EXPECT_EQ(Header(w.proxy.get(), "lstProxy", 6), QStringLiteral("速度"));
        EXPECT_EQ(TextOf(w.proxy.get(), "cmdRetry"), QStringLiteral("重试无效代理"));
        EXPECT_EQ(TextOf(w.proxy.get(), "RetryBadProxies1"), QStringLiteral("重试无效代理"));
        EXPECT_EQ(TextOf(w.proxy.get(), "UseProxyInIE1"), QStringLiteral("设置为IE代理"));
    }
}

TEST_F(WindowFixture, EveryCaptionFitsInBothLanguages)
{
    for (TLanguage language : {TLanguage::Chinese, TLanguage::English}) {
        ASSERT_TRUE(gui::InstallLanguage(language));
        gui::TWindows w = Start();
        ShowAll(w);
        QStringList faults;
        for (const QWidget *window :
             {static_cast<QWidget *>(w.leecher.get()), static_cast<QWidget *>(w.options.get()),
              static_cast<QWidget *>(w.proxy.get())})
            faults += CaptionsThatDoNotFit(window);
        EXPECT_TRUE(faults.isEmpty())
            << (language == TLanguage::English ? "English:\n" : "Chinese:\n")
            << faults.join(QLatin1Char('\n')).toStdString();
    }
    EXPECT_TRUE(gui::InstallLanguage(TLanguage::Chinese));
}
