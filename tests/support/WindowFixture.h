// Creates the program's three windows offscreen in a temporary folder and
// answers their dialogs, recording what they showed.
#pragma once

#include "app/Dialogs.h"
#include "app/Startup.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class WindowFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        saved = gui::Dialogs();
        gui::Dialogs().error = [this](QWidget *, const QString &m) { errors << m; };
        gui::Dialogs().information = [this](QWidget *, const QString &text,
                                            const QString &caption) {
            informations << caption + QStringLiteral("|") + text;
        };
    }
    void TearDown() override { gui::Dialogs() = saved; }

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

private:
    gui::TDialogs saved;
};
