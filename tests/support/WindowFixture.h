// Creates the program's three windows offscreen in a temporary folder and
// answers their dialogs, recording what they showed. The analyser's own
// address comes from a fixed answer, not from the machine's name service,
// and no judge is asked for it (the windows start with the built-in judge,
// an outside server): tests of that ask turn askJudges on with a loopback
// judge.
#pragma once

#include "analyser/OwnAddress.h"
#include "app/Dialogs.h"
#include "app/Startup.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

class WindowFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        saved = gui::Dialogs();
        savedAddressSources = analyser::OwnAddressSources();
        analyser::OwnAddressSources().hostNameAddresses = [] {
            return QList<QHostAddress>{QHostAddress(QStringLiteral("192.0.2.10"))};
        };
        analyser::OwnAddressSources().interfaceAddresses = [] { return QList<QHostAddress>(); };
        analyser::OwnAddressSources().askJudges = false;
        gui::Dialogs().error = [this](QWidget *, const QString &m) { errors << m; };
        gui::Dialogs().information = [this](QWidget *, const QString &text,
                                            const QString &caption) {
            informations << caption + QStringLiteral("|") + text;
        };
        gui::Dialogs().openUrl = [this](const QUrl &url) { openedUrls << url.toString(); };
        gui::Dialogs().ask = [this](QWidget *, const QString &, const QString &text,
                                    const std::function<void(bool)> &answer) {
            questions << text;
            answer(askAnswer);
        };
        gui::Dialogs().input = [this](QWidget *, const QString &caption, const QString &prompt,
                                      QString &value) {
            inputs << caption + QStringLiteral("|") + prompt;
            value = inputAnswer;
            return inputAccepted;
        };
        gui::Dialogs().file = [this](QWidget *, const gui::TFileDialogSetup &setup) {
            fileDialogs << setup.title + QStringLiteral("|") + setup.filter;
            return fileAnswer;
        };
    }
    void TearDown() override
    {
        gui::Dialogs() = saved;
        analyser::OwnAddressSources() = savedAddressSources;
    }

    QString Path(const QString &name) const { return dir.filePath(name); }
    void WriteFile(const QString &name, const QByteArray &content) const
    {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QByteArray ReadFile(const QString &name) const
    {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    gui::TWindows Start() const { return gui::CreateWindows(dir.path()); }

    QTemporaryDir dir;
    QStringList errors;
    QStringList informations;
    QStringList openedUrls;
    QStringList inputs;
    QStringList fileDialogs;
    QStringList questions;
    bool askAnswer = false; // what a yes/no question is answered
    // What the input box and the file dialogs answer; empty means cancelled.
    QString inputAnswer;
    bool inputAccepted = true;
    QString fileAnswer;

private:
    gui::TDialogs saved;
    analyser::TOwnAddressSources savedAddressSources;
};
