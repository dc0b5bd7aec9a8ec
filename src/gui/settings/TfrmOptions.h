// The Options dialog. Its controls are the live store of the program-wide
// options: the runs read them through IOptions at the moment of use.
#pragma once

#include "settings/Options.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QToolButton;

class TfrmOptions : public QWidget, public settings::IOptions
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 313;
    // Taller than the four groups need: the search engine's group sits below.
    static constexpr int ClientHeight = 451;

    // `folder` holds Options.ini.
    explicit TfrmOptions(QString folder, QWidget *parent = nullptr);

    // Shows the dialog modelessly, centred on `over`.
    void ShowOver(QWidget *over);

    bool UseProxy() const override;
    QString Proxy() const override;
    bool ProxyAuth() const override;
    QString ProxyUsername() const override;
    QString ProxyPassword() const override;
    bool RetryTimeout() const override;
    bool WriteFile() const override;
    bool DeleteFile() const override;
    bool Dupes() const override;
    bool Autoload() const override;
    bool Special() const override;
    bool GooglerSpecial() const override;
    std::optional<settings::TSearchSettings> SearchSettings() const override;

    void FormCreate();
    // Writes section "Options": the twelve keys, then the search engine's;
    // throws settings::EIniWriteError.
    void FormClose();

    void cmdConnectionHelpClick();
    void cmdAutoloadHelpClick();
    void cmdSaveHelpClick();
    void cmdSpecialHelpClick();
    void cmdSearchHelpClick();

    QCheckBox *chkProxy = nullptr;
    QLineEdit *txtProxy = nullptr;
    QCheckBox *chkProxyAuth = nullptr;
    QLineEdit *txtProxyUsername = nullptr;
    QLineEdit *txtProxyPassword = nullptr;
    QCheckBox *chkRetryTimeout = nullptr;
    QCheckBox *chkAutoload = nullptr;
    QCheckBox *chkWriteFile = nullptr;
    QCheckBox *chkDeleteFile = nullptr;
    QCheckBox *chkDupes = nullptr;
    QCheckBox *chkSpecial = nullptr;
    QCheckBox *chkSpecialGoogle = nullptr;
    QToolButton *cmdConnectionHelp = nullptr;
    QToolButton *cmdAutoloadHelp = nullptr;
    QToolButton *cmdSaveHelp = nullptr;
    QToolButton *cmdSpecialHelp = nullptr;
    // The harvest's search engine: its kind, and the keys each kind reads.
    QComboBox *cboSearchEngine = nullptr;
    QLineEdit *txtSearchHost = nullptr;
    QLineEdit *txtSearchURL = nullptr;
    QLineEdit *txtSearchLinkPattern = nullptr;
    QLineEdit *txtSearchInterval = nullptr;
    QToolButton *cmdSearchHelp = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildLayout();
    void BuildSearchGroup();
    // Only the fields the chosen engine reads can be edited.
    void EnableSearchFields();
    QString IniPath() const;

    QString FFolder;
};
