// The proxy analyser window: its list of proxies under test with their check
// results, the commands that fill, clean, sort, save and copy that list, the
// run settings (bots, timeout, judge address, 503 retry; section
// "ProxyChecker" of Options.ini), the judge list (ProxyJudges.ini), the own
// address (as the judge sees it, else this machine's, or typed) and the
// desktop proxy command.
#pragma once

#include "analyser/AnalyserSort.h"
#include "analyser/CheckRunState.h"
#include "analyser/ListEdits.h"
#include "analyser/ProxyItem.h"
#include "lists/Records.h"

#include <QHash>
#include <QList>
#include <QPixmap>
#include <QWidget>

#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;
class QTableView;
class QToolButton;
class TAnalyserListModel;
class TFrameUpdates;
class TWindowCheckInputs;

namespace history {
class TCheckRecorder;
}

namespace analyser {
class TCheckRun;
class TOwnAddressProbe;
enum class TOwnAddressSource;
} // namespace analyser

class TfrmProxy : public QWidget
{
    Q_OBJECT
public:
    // `folder` holds Options.ini and ProxyJudges.ini.
    explicit TfrmProxy(QString folder, QWidget *parent = nullptr);
    ~TfrmProxy() override;

    // The main window's proxy list, which every opening takes over; it is
    // only read (also while the main window cleans it on another thread).
    void SetMainProxyList(const leecher::TProxyList *proxies);

    analyser::TProxyItem &PItem(int index);
    void ClearProxyList();
    // View refresh: the row count follows the list / only one row is redrawn.
    void ProxiesChanged();
    void RowChanged(int index);

    // While a check run is active it addresses records by index: the
    // commands that change, reorder or reload the list are disabled (menus,
    // keys, header clicks, side buttons, the retry commands), and opening the
    // window keeps the list instead of taking over the main window's.
    void SetRunActive(bool active);
    bool RunActive() const { return FRunActive; }
    // Stops a check run under way at once (the window closes, the program
    // ends): every client aborted and released, nothing more reaches the
    // list. The list keeps what was recorded so far.
    void StopCheckRun();
    // The check run behind cmdStart, cmdAbort and the retry commands.
    analyser::TCheckRun &Run() { return *FRun; }
    // Finds the own address that lblIP shows: asked of the judge when the
    // window is first shown and at every start until the user types one.
    analyser::TOwnAddressProbe &OwnAddressProbe() { return *FOwnAddress; }
    // "JudgeFallback" of Options.ini as read at creation; tests set it.
    void SetJudgeFallback(bool on) { FJudgeFallback = on; }
    // A start waits for the judge's answer on the own address (the window
    // looks as during a run; cmdAbort cancels the start).
    bool StartPending() const { return FStartPending; }

    void FormCreate();
    void FormShow();
    // Stops a check run under way, writes ProxyJudges.ini and section
    // "ProxyChecker", then empties the list; raises (and keeps the list) when
    // a file cannot be written.
    void FormClose();

    void lstProxyColumnClick(int column);
    void AddProxy1Click();
    void DeleteProxy1Click();
    void UseProxyInIE1Click();
    void CopyProxyToClipboard1Click();
    void cmdOpenClick();
    void cmdExtractClipboardClick();
    void cmdSaveClick();
    void cmdCleanClick();
    void cmdRetryClick();
    void RemoveDuplicates1Click();
    void DeleteBadProxies1Click();
    void DeleteTimeouts1Click();
    void DeleteGateways1Click();
    void DeleteUnknowns1Click();
    void SaveSelectedToFile1Click();
    void SaveAllToFile1Click();
    void RetryBadProxies1Click();
    void RetryTimeouts1Click();
    void RetryUnknownProxies1Click();
    void cmdStartClick();
    void cmdAbortClick();
    void cmdOpenPJClick();
    void sldBotsChange();
    void lblIPClick();

    analyser::TAnalyserList AnalyserList;
    analyser::TAnalyserSortState AnalyserSort;
    // Shared with the check run; the main window's verification clears its
    // timeout total.
    analyser::TCheckRunState RunState;

    // The image list of the row states and the menus.
    QList<QPixmap> illstProxy;

    QTableView *lstProxy = nullptr;
    QPushButton *cmdStart = nullptr;
    QPushButton *cmdAbort = nullptr;
    QSlider *sldBots = nullptr;
    QLabel *lblCount = nullptr;
    QComboBox *cboProxyJudge = nullptr;
    QToolButton *cmdOpenPJ = nullptr;
    QLineEdit *txtTimeout = nullptr;
    QLabel *lblReply = nullptr;
    QCheckBox *chkRetry = nullptr;
    QCheckBox *chkDetectType = nullptr;
    QToolButton *cmdOpen = nullptr;
    QToolButton *cmdSave = nullptr;
    QToolButton *cmdClean = nullptr;
    QToolButton *cmdExtractClipboard = nullptr;
    QToolButton *cmdRetry = nullptr;
    QLabel *lblStatus = nullptr;
    QProgressBar *prgStatus = nullptr;
    QLabel *lblIP = nullptr;

    QMenu *mnulstProxy = nullptr;
    QAction *AddProxy1 = nullptr;
    QAction *DeleteProxy1 = nullptr;
    QAction *UseProxyInIE1 = nullptr;
    QAction *CopyProxyToClipboard1 = nullptr;
    QMenu *mnucmdClean = nullptr;
    QAction *RemoveDuplicates1 = nullptr;
    QAction *DeleteBadProxies1 = nullptr;
    QAction *DeleteTimeouts1 = nullptr;
    QAction *DeleteGateways1 = nullptr;
    QAction *DeleteUnknowns1 = nullptr;
    QMenu *mnucmdSave = nullptr;
    QAction *SaveSelectedToFile1 = nullptr;
    QAction *SaveAllToFile1 = nullptr;
    QMenu *mnucmdRetry = nullptr;
    QAction *RetryBadProxies1 = nullptr;
    QAction *RetryTimeouts1 = nullptr;
    QAction *RetryUnknownProxies1 = nullptr;

Q_SIGNALS:
    // A message went to the status panel lblStatus (a run's shows there by
    // the end of the frame, unless a later one of the same frame replaces it).
    void statusShown(const QString &text);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *BuildTopPanel();
    QWidget *BuildListPanel();
    QWidget *BuildStatusBar();
    void BuildMenus();
    void BuildRun();
    void RunningChanged(bool running);
    // Asks the current judge for the own address; false when nothing is
    // asked (a typed address holds). A start waits for the answer.
    // A start's ask (forStart) steps over judges that do not answer when the
    // fallback is on; the first opening's asks the chosen judge only.
    bool AskOwnAddress(bool forStart);
    void OwnAddressFound(const QString &address, analyser::TOwnAddressSource source);
    // Drops a start that waits for the own address: no run, as after one.
    void CancelPendingStart();
    QString IniPath() const;
    // Opens the location databases and the history for the next run;
    // returns what the user has not been told yet ("; " between).
    QString OpenRecorder();
    std::vector<int> SelectedRows() const;
    void ShowStatus(const QString &text);
    // Shows the list's new count and the message.
    void ListChanged(const QString &message);
    void CleanBy(analyser::TCleaning cleaning);
    void SaveRows(bool selectedOnly);

    QString FFolder;
    TAnalyserListModel *FModel = nullptr;
    const leecher::TProxyList *FMainProxies = nullptr;
    bool FRunActive = false;
    bool FStartPending = false;
    bool FOwnAddressAsked = false;
    // "JudgeFallback" of section ProxyChecker.
    bool FJudgeFallback = true;
    // Options.ini's timeout was above the cap: said at the first showing.
    QString FTimeoutNote;
    std::unique_ptr<analyser::TOwnAddressProbe> FOwnAddress;
    // Declared after the list and the run state, so the run goes first.
    std::unique_ptr<TWindowCheckInputs> FInputs;
    std::unique_ptr<analyser::TCheckRun> FRun;
    // Stamps, locates and records in the history each row whose check ends.
    std::unique_ptr<history::TCheckRecorder> FRecorder;
    // What the recorder had to say (a database missing, a history that
    // cannot be used): each said once while the window lives.
    QHash<QString, bool> FRecorderTold;
    TFrameUpdates *FFrame = nullptr;
};
