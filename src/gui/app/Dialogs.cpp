#include "Dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include <exception>

namespace gui {

namespace {

TDialogs makeRealDialogs()
{
    TDialogs d;
    d.error = [](QWidget *parent, const QString &message) {
        QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), message,
                        QMessageBox::Ok, parent);
        box.exec();
    };
    d.information = [](QWidget *, const QString &text, const QString &caption) {
        // Owned by the application, not by the window that asked.
        QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok);
        box.exec();
    };
    d.input = [](QWidget *parent, const QString &caption, const QString &prompt, QString &value) {
        bool ok = false;
        const QString text =
            QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, value, &ok);
        if (ok)
            value = text;
        return ok;
    };
    d.file = [](QWidget *parent, const TFileDialogSetup &setup) {
        QFileDialog dialog(parent, setup.title, QString(), setup.filter);
        dialog.setDefaultSuffix(setup.defaultSuffix);
        dialog.setOption(QFileDialog::ReadOnly, false);
        // A native dialog would run its own GLib loop, in which the runs'
        // sockets and timers (on Qt's plain dispatcher) stand still.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        if (setup.save) {
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
        } else {
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(QFileDialog::ExistingFile);
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    };
    d.ask = [](QWidget *parent, const QString &caption, const QString &text,
               const std::function<void(bool)> &answer) {
        auto *box = new QMessageBox(QMessageBox::Question, caption, text,
                                    QMessageBox::Yes | QMessageBox::No, parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(box, &QMessageBox::finished, box, [box, answer] {
            answer(box->clickedButton() == box->button(QMessageBox::Yes));
        });
        box->open();
    };
    d.openUrl = [](const QUrl &url) { QDesktopServices::openUrl(url); };
    return d;
}

} // namespace

TDialogs &Dialogs()
{
    static TDialogs dialogs = makeRealDialogs();
    return dialogs;
}

bool ReportErrors(QWidget *parent, const std::function<void()> &step)
{
    try {
        step();
        return true;
    } catch (const std::exception &e) {
        Dialogs().error(parent, QString::fromLocal8Bit(e.what()));
    }
    return false;
}

} // namespace gui
