// The main window: the site list, the leeched-proxy list, the run controls,
// the automation settings and the status bar.
#pragma once

#include "leecher/SiteRun.h"
#include "lists/ListSort.h"
#include "lists/Records.h"
#include "settings/Options.h"

#include <QMainWindow>

#include <functional>
#include <optional>

class QAbstractItemModel;
class QCheckBox;
class QGroupBox;
class QAction;
class QLabel;
class QMenu;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QSplitter;
class QTableView;
class QToolButton;
class TFrameUpdates;
class TProxyListModel;
class TSiteListModel;
class TfrmOptions;
class TfrmProxy;
class TNotifyIcon;

namespace util {
class TPeriodTimer;
}

class TfrmLeecher : public QMainWindow, public leecher::IRunInputs
{
    Q_OBJECT
public:
    // `folder` holds Options.ini, Sites.ini and Proxies.txt.
    explicit TfrmLeecher(QString folder, QWidget *parent = nullptr);
    ~TfrmLeecher() override;

    // The windows opened by cmdOptions and cmdProxy; created after this one.
    void SetOptionsWindow(TfrmOptions *options);
    void SetProxyWindow(TfrmProxy *proxy);
    // The live options: the Options dialog, or the defaults before it exists.
    const settings::IOptions &Options() const;

    const QString &Folder() const { return FFolder; }

    leecher::TSiteItem &SItem(int index);
    leecher::TProxyItem &PItem(int index);
    void ClearSiteList();
    void ClearProxyList();
    // Keeps room in the proxy list so runs rarely make it grow (and move).
    void KeepProxyRoom();

    // View refresh: the item count follows the list / only one row is redrawn.
    void SitesChanged();
    void ProxiesChanged();
    void SiteRowChanged(int index);

    void FormCreate();
    void FormClose();
    // A first start (the data folder had no Sites.ini when the window was
    // created) offers, once, to fill the site list with the starter list
    // that ships with the program. Answered either way, Sites.ini exists
    // from then on (the starter list, or empty) and nothing is offered again.
    // The program calls it once the window is up.
    void OfferStarterSites();
    void sldBotsChange();
    void cmdOptionsClick();
    void cmdProxyClick();

    // List commands of the two pop-up menus, the keys, the headers and the
    // clipboard button.
    void AddSite1Click();
    void DeleteSite1Click();
    void CopySelectedSitesToClipboard1Click();
    void LaunchSiteInBrowser1Click();
    void LoadSitesFromFile1Click();
    void SaveSitesToFile1Click();
    void DeleteBadSites1Click();
    void DeleteTimeouts1Click();
    void DeleteSitesWhichReturned0Proxies1Click();
    void DeleteSelectedProxies1Click();
    void CopySelectedProxiesToClipboard1Click();
    void SaveProxiesToFile1Click();
    void lstSiteColumnClick(int column);
    void lstProxyColumnClick(int column);
    void cmdClipboardClick();

    // Runs and automation.
    void cmdStartClick();
    void cmdAbortClick();
    void VerifySites1Click();
    // The search harvest; runs until cmdAbort.
    void cmdGoogleClick();
    void tmrAutomateTimer();
    void tmrCountdownTimer();
    leecher::TSiteRun &Run() { return *FRun; }

    // What the runs read from this window.
    int Bots() const override;
    QString TimeoutText() const override;
    void SetTimeoutText(const QString &text) override;
    bool Automate() const override;
    void LeechStartAutomation() override;

    bool AutomationArmed = false;
    qint32 SecondsLeft = 0;
    util::TPeriodTimer *tmrAutomate = nullptr;
    util::TPeriodTimer *tmrCountdown = nullptr;
    TNotifyIcon *NotifyIcon = nullptr;

    // While a run is active it addresses sites by index: the commands that
    // add, remove or reorder sites are disabled until it ends.
    void SetRunActive(bool active);
    bool RunActive() const { return FRunActive; }
    // While the end-of-run step cleans a copy of the proxy list, the commands
    // that change the list wait, or their change would be lost.
    void SetProxyListLocked(bool locked);

    leecher::TSiteList SiteList;
    leecher::TProxyList ProxyList;
    bool Autoload = false;
    leecher::TSortState SiteSort;
    leecher::TSortState ProxySort;

    // Top panel.
    QPushButton *cmdStart = nullptr;
    QPushButton *cmdAbort = nullptr;
    QSlider *sldBots = nullptr;
    QLabel *lblCount = nullptr;
    // Settings panel.
    QCheckBox *chkAutomate = nullptr;
    QLineEdit *txtHour = nullptr;
    QLineEdit *txtMinute = nullptr;
    QLineEdit *txtSecond = nullptr;
    QLineEdit *txtTimeout = nullptr;
    QLabel *lblTime = nullptr;
    QLabel *lblSite = nullptr;
    QLabel *lblProxy = nullptr;
    QLabel *lblCycle = nullptr;
    QLabel *lblTimeout = nullptr;
    QToolButton *cmdOptions = nullptr;
    QToolButton *cmdProxy = nullptr;
    QToolButton *cmdClipboard = nullptr;
    QToolButton *cmdGoogle = nullptr;
    // Lists and status bar.
    QTableView *lstSite = nullptr;
    QTableView *lstProxy = nullptr;
    QSplitter *Splitter1 = nullptr;
    QLabel *lblStatus = nullptr;
    QProgressBar *prgStatus = nullptr;
    // Pop-up menus.
    QMenu *mnulstSite = nullptr;
    QAction *AddSite1 = nullptr;
    QAction *DeleteSite1 = nullptr;
    QAction *CopySelectedSitesToClipboard1 = nullptr;
    QAction *LaunchSiteInBrowser1 = nullptr;
    QAction *LoadSitesFromFile1 = nullptr;
    QAction *SaveSitesToFile1 = nullptr;
    QAction *VerifySites1 = nullptr;
    QAction *DeleteBadSites1 = nullptr;
    QAction *DeleteTimeouts1 = nullptr;
    QAction *DeleteSitesWhichReturned0Proxies1 = nullptr;
    QMenu *mnulstProxy = nullptr;
    QAction *DeleteSelectedProxies1 = nullptr;
    QAction *CopySelectedProxiesToClipboard1 = nullptr;
    QAction *SaveProxiesToFile1 = nullptr;

Q_SIGNALS:
    // The close handler has run: the program ends.
    void MainFormClosed();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *BuildTopPanel();
    QWidget *BuildSettingsPanel();
    QTableView *BuildListView(const char *name, QAbstractItemModel *model, int secondColumnWidth);
    void BuildStatusBar();
    void BuildMenus();
    void BuildRun();
    // The period of the three time edits in milliseconds, or nothing and the
    // conversion error when an edit is not a number.
    std::optional<qint32> ReadPeriod(QString &error) const;
    void ArmAutomation(qint32 periodMs);
    void DisarmAutomation();
    void SetTitle(const QString &title);
    // Removes the entries that pass `test` (walking from the last one down),
    // then shows "Deleted N<suffix>" and the list's new count.
    void DeleteSites(const std::function<bool(int index)> &test, const QString &suffix);
    QList<int> SelectedRows(QTableView *view) const;
    void SitesAdded(qsizetype added, const QString &message);
    QString FilePath(const QString &name) const;
    // Direct writes of the status line and the proxy counter (the commands'):
    // they replace a run's value still waiting for the frame.
    void ShowStatus(const QString &text);
    void ShowProxyCount();

    QString FFolder;
    TSiteListModel *FSiteModel = nullptr;
    TProxyListModel *FProxyModel = nullptr;
    TfrmOptions *FOptions = nullptr;
    settings::TOptionValues FDefaultOptions; // until the Options dialog exists
    settings::TOptionsForwarder FLiveOptions{&FDefaultOptions};
    TfrmProxy *FProxyWindow = nullptr;
    bool FRunActive = false;
    bool FProxyListLocked = false;
    bool FFirstStart = false;
    leecher::TSiteRun *FRun = nullptr;
    TFrameUpdates *FFrame = nullptr;
};
