// The main window: the site list, the leeched-proxy list, the run controls,
// the automation settings and the status bar.
#pragma once

#include "lists/Records.h"

#include <QMainWindow>

class QAbstractItemModel;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QSplitter;
class QTableView;
class QToolButton;
class TProxyListModel;
class TSiteListModel;
class TfrmOptions;
class TfrmProxy;

namespace settings {
class IOptions;
}

class TfrmLeecher : public QMainWindow
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

    // View refresh: the item count follows the list / only one row is redrawn.
    void SitesChanged();
    void ProxiesChanged();
    void SiteRowChanged(int index);

    void FormCreate();
    void FormClose();
    void sldBotsChange();
    void cmdOptionsClick();
    void cmdProxyClick();

    leecher::TSiteList SiteList;
    leecher::TProxyList ProxyList;
    bool Autoload = false;

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

Q_SIGNALS:
    // The close handler has run: the program ends.
    void MainFormClosed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *BuildTopPanel();
    QWidget *BuildSettingsPanel();
    QTableView *BuildListView(const char *name, QAbstractItemModel *model, int secondColumnWidth);
    void BuildStatusBar();
    QString FilePath(const QString &name) const;

    QString FFolder;
    TSiteListModel *FSiteModel = nullptr;
    TProxyListModel *FProxyModel = nullptr;
    TfrmOptions *FOptions = nullptr;
    TfrmProxy *FProxyWindow = nullptr;
};
