#include "TfrmOptions.h"

#include "app/DesignFont.h"
#include "app/Dialogs.h"
#include "settings/OptionsFile.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QToolButton>

#include <algorithm>

namespace {

QCheckBox *addCheck(QWidget *parent, const char *name, const QString &caption, int x, int y,
                    bool checked)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(x, y, 130, 17);
    box->setChecked(checked);
    return box;
}

QLineEdit *addEdit(QWidget *parent, const char *name, int x, int y, int width)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(x, y, width, 20);
    return edit;
}

QLabel *addLabel(QWidget *parent, const QString &caption, int x, int y)
{
    auto *label = new QLabel(caption, parent);
    // Never narrower than its caption, in whichever language that is.
    label->setGeometry(x, y + 3, std::max(50, label->sizeHint().width()), 14);
    return label;
}

// A group box with its small help button at the top right corner.
QGroupBox *addGroup(QWidget *parent, const QString &caption, QRect geometry, const char *helpName,
                    QToolButton *&help)
{
    auto *group = new QGroupBox(caption, parent);
    group->setGeometry(geometry);
    help = new QToolButton(group);
    help->setObjectName(QLatin1String(helpName));
    help->setText(QStringLiteral("?"));
    help->setGeometry(geometry.width() - 20, 0, 16, 16);
    return group;
}

QString lines(const QStringList &l)
{
    return l.join(QStringLiteral("\r\n"));
}

} // namespace

TfrmOptions::TfrmOptions(QString folder, QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), FFolder(std::move(folder))
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(tr("选项"));
    setFont(gui::DesignFont());
    setFixedSize(ClientWidth, ClientHeight);
    BuildLayout();
    FormCreate();
}

void TfrmOptions::BuildLayout()
{
    QGroupBox *connection =
        addGroup(this, tr("连接"), QRect(8, 8, 150, 206), "cmdConnectionHelp", cmdConnectionHelp);
    chkProxy = addCheck(connection, "chkProxy", tr("使用代理"), 10, 20, false);
    txtProxy = addEdit(connection, "txtProxy", 10, 42, 130);
    chkProxyAuth = addCheck(connection, "chkProxyAuth", tr("代理要密码"), 10, 70, false);
    const QLabel *user = addLabel(connection, tr("用户名:"), 10, 94);
    const QLabel *password = addLabel(connection, tr("密  码:"), 10, 120);
    // The two edits start after the wider caption and end at the box's edge.
    const int editX =
        std::max({58, 14 + user->sizeHint().width(), 14 + password->sizeHint().width()});
    txtProxyUsername = addEdit(connection, "txtProxyUsername", editX, 94, 140 - editX);
    txtProxyPassword = addEdit(connection, "txtProxyPassword", editX, 120, 140 - editX);
    txtProxyPassword->setEchoMode(QLineEdit::Normal); // shown in clear
    chkRetryTimeout = addCheck(connection, "chkRetryTimeout", tr("超时重试"), 10, 152, false);

    QGroupBox *load =
        addGroup(this, tr("载入选项"), QRect(164, 8, 141, 50), "cmdAutoloadHelp", cmdAutoloadHelp);
    chkAutoload = addCheck(load, "chkAutoload", tr("站点列表"), 10, 22, true);

    QGroupBox *save =
        addGroup(this, tr("保存选项"), QRect(164, 64, 141, 150), "cmdSaveHelp", cmdSaveHelp);
    chkWriteFile = addCheck(save, "chkWriteFile", tr("写入临时文件"), 10, 24, true);
    chkDeleteFile = addCheck(save, "chkDeleteFile", tr("关闭时删除"), 10, 50, true);
    chkDupes = addCheck(save, "chkDupes", tr("重复时覆盖"), 10, 76, true);

    QGroupBox *special =
        addGroup(this, tr("高级"), QRect(8, 220, 297, 83), "cmdSpecialHelp", cmdSpecialHelp);
    chkSpecial = addCheck(special, "chkSpecial", tr("尝试“高级”吸附"), 10, 24, true);
    chkSpecial->setFixedWidth(270);
    chkSpecialGoogle =
        addCheck(special, "chkSpecialGoogle", tr("尝试“高级” Google 吸附"), 10, 50, false);
    chkSpecialGoogle->setFixedWidth(270);

    BuildSearchGroup();

    connect(cmdConnectionHelp, &QToolButton::clicked, this, &TfrmOptions::cmdConnectionHelpClick);
    connect(cmdAutoloadHelp, &QToolButton::clicked, this, &TfrmOptions::cmdAutoloadHelpClick);
    connect(cmdSaveHelp, &QToolButton::clicked, this, &TfrmOptions::cmdSaveHelpClick);
    connect(cmdSpecialHelp, &QToolButton::clicked, this, &TfrmOptions::cmdSpecialHelpClick);
}

void TfrmOptions::BuildSearchGroup()
{
    QGroupBox *search =
        addGroup(this, tr("搜索引擎"), QRect(8, 309, 297, 134), "cmdSearchHelp", cmdSearchHelp);
    const QLabel *labels[] = {
        addLabel(search, tr("引擎:"), 10, 20), addLabel(search, tr("地址:"), 10, 42),
        addLabel(search, tr("URL:"), 10, 64), addLabel(search, tr("链接:"), 10, 86),
        addLabel(search, tr("间隔(秒):"), 10, 108)};
    int editX = 0;
    for (const QLabel *label : labels)
        editX = std::max(editX, 14 + label->width());
    const int editWidth = 287 - editX;
    cboSearchEngine = new QComboBox(search);
    cboSearchEngine->setObjectName(QStringLiteral("cboSearchEngine"));
    cboSearchEngine->addItems(
        {QStringLiteral("classic"), QStringLiteral("searxng"), QStringLiteral("custom")});
    cboSearchEngine->setGeometry(editX, 20, 100, 20);
    txtSearchHost = addEdit(search, "txtSearchHost", editX, 42, editWidth);
    txtSearchURL = addEdit(search, "txtSearchURL", editX, 64, editWidth);
    txtSearchLinkPattern = addEdit(search, "txtSearchLinkPattern", editX, 86, editWidth);
    txtSearchInterval = addEdit(search, "txtSearchInterval", editX, 108, 60);
    connect(cboSearchEngine, &QComboBox::currentIndexChanged, this,
            &TfrmOptions::EnableSearchFields);
    connect(cmdSearchHelp, &QToolButton::clicked, this, &TfrmOptions::cmdSearchHelpClick);
}

void TfrmOptions::EnableSearchFields()
{
    const bool custom = cboSearchEngine->currentText() == QLatin1String("custom");
    txtSearchHost->setEnabled(!custom);
    txtSearchURL->setEnabled(custom);
    txtSearchLinkPattern->setEnabled(custom);
}

std::optional<settings::TSearchSettings> TfrmOptions::SearchSettings() const
{
    settings::TSearchSettings s;
    s.Engine = cboSearchEngine->currentText();
    s.Host = txtSearchHost->text();
    s.Url = txtSearchURL->text();
    s.LinkPattern = txtSearchLinkPattern->text();
    s.Interval = txtSearchInterval->text();
    return s;
}

QString TfrmOptions::IniPath() const
{
    return QDir(FFolder).filePath(settings::OptionsFileName);
}

void TfrmOptions::ShowOver(QWidget *over)
{
    if (over) {
        const QPoint centre = over->frameGeometry().center();
        move(centre.x() - width() / 2, centre.y() - height() / 2);
    }
    show();
    raise();
    activateWindow();
}

bool TfrmOptions::UseProxy() const
{
    return chkProxy->isChecked();
}
QString TfrmOptions::Proxy() const
{
    return txtProxy->text();
}
bool TfrmOptions::ProxyAuth() const
{
    return chkProxyAuth->isChecked();
}
QString TfrmOptions::ProxyUsername() const
{
    return txtProxyUsername->text();
}
QString TfrmOptions::ProxyPassword() const
{
    return txtProxyPassword->text();
}
bool TfrmOptions::RetryTimeout() const
{
    return chkRetryTimeout->isChecked();
}
bool TfrmOptions::WriteFile() const
{
    return chkWriteFile->isChecked();
}
bool TfrmOptions::DeleteFile() const
{
    return chkDeleteFile->isChecked();
}
bool TfrmOptions::Dupes() const
{
    return chkDupes->isChecked();
}
bool TfrmOptions::Autoload() const
{
    return chkAutoload->isChecked();
}
bool TfrmOptions::Special() const
{
    return chkSpecial->isChecked();
}
bool TfrmOptions::GooglerSpecial() const
{
    return chkSpecialGoogle->isChecked();
}

void TfrmOptions::FormCreate()
{
    const settings::TIniFile file(IniPath());
    const settings::TOptionValues o = settings::ReadOptionsSection(file);
    chkProxy->setChecked(o.useProxy);
    txtProxy->setText(o.proxy);
    chkProxyAuth->setChecked(o.proxyAuth);
    txtProxyUsername->setText(o.proxyUsername);
    txtProxyPassword->setText(o.proxyPassword);
    chkRetryTimeout->setChecked(o.retryTimeout);
    chkWriteFile->setChecked(o.writeFile);
    chkDeleteFile->setChecked(o.deleteFile);
    chkDupes->setChecked(o.dupes);
    chkAutoload->setChecked(o.autoload);
    chkSpecial->setChecked(o.special);
    chkSpecialGoogle->setChecked(o.googlerSpecial);

    const settings::TSearchSettings search = settings::ReadSearchSettings(file);
    // An engine the list does not know is shown as written; the harvest
    // then says what is wrong with it.
    const QString engine = search.Engine.trimmed().toLower();
    if (cboSearchEngine->findText(engine) < 0)
        cboSearchEngine->addItem(search.Engine);
    cboSearchEngine->setCurrentIndex(
        cboSearchEngine->findText(cboSearchEngine->findText(engine) < 0 ? search.Engine : engine));
    txtSearchHost->setText(search.Host);
    txtSearchURL->setText(search.Url);
    txtSearchLinkPattern->setText(search.LinkPattern);
    txtSearchInterval->setText(search.Interval);
    EnableSearchFields();
}

void TfrmOptions::FormClose()
{
    settings::TIniFile ini(IniPath());
    settings::WriteOptionsSection(ini, *this);
    settings::WriteSearchSettings(ini, *SearchSettings());
}

void TfrmOptions::closeEvent(QCloseEvent *event)
{
    // A failed write keeps the dialog open, so the user sees the options were not saved.
    if (gui::ReportErrors(this, [this] { FormClose(); }))
        event->accept();
    else
        event->ignore();
}

void TfrmOptions::cmdConnectionHelpClick()
{
    gui::Dialogs().information(
        this,
        lines({QStringLiteral("Use a proxy when sending all requests."), QString(),
               QStringLiteral("Use format: \"xxx.xxx.xxx:yyyy\"."), QString(),
               QStringLiteral("Retry Timeouts - Retries Leech Sites that Timeout."),
               QStringLiteral("This control can be ticked on/off during the middle of a session"),
               QStringLiteral("because it can cause an infinite loop.")}),
        QStringLiteral("Connection Help"));
}

void TfrmOptions::cmdAutoloadHelpClick()
{
    gui::Dialogs().information(this,
                               QStringLiteral("Sites in \"Sites.ini\" load when program loads."),
                               QStringLiteral("Load Help"));
}

void TfrmOptions::cmdSaveHelpClick()
{
    gui::Dialogs().information(
        this,
        lines(
            {QStringLiteral("Writes to \"Proxies.txt\" after each cycle."), QString(),
             QStringLiteral("If the program closes itself successfully, delete \"Proxies.txt\""),
             QStringLiteral(
                 "\"Proxies.txt\" can become rather large if not monitored after several uses.")}),
        QStringLiteral("Save Help"));
}

void TfrmOptions::cmdSpecialHelpClick()
{
    gui::Dialogs().information(
        this,
        lines({QStringLiteral("Determine whether to use special leeching abilities."), QString(),
               QStringLiteral(
                   "Note: Using Special Leeching will slow down the parser on sites that do"),
               QStringLiteral("not return any proxies. Because using the Googler is luck to find "
                              "sites with proxies,"),
               QStringLiteral("it is advised to use a low amount of bots when using this option "
                              "with the Googler.")}),
        QStringLiteral("Save Help"));
}

void TfrmOptions::cmdSearchHelpClick()
{
    gui::Dialogs().information(
        this,
        lines({QStringLiteral("The search engine of the Google harvester."), QString(),
               QStringLiteral("classic: the host of a web search answering the classic result "
                              "page."),
               QStringLiteral("searxng: the address of a SearXNG instance, as "
                              "http://127.0.0.1:8888"),
               QStringLiteral("custom: a URL with {query} (and {page}), and a pattern whose "
                              "first group is a result link."),
               QString(), QStringLiteral("Interval: seconds between two searches (0: no pause).")}),
        QStringLiteral("Search Help"));
}
