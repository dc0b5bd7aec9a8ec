// A data folder of its own for each test of the vexo-cli program, and what
// the tests read back from it.
#pragma once

#include "cli/CliProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class CliFixture : public ::testing::Test
{
protected:
    QString Path(const QString &Name) const { return Dir.filePath(Name); }
    void Write(const QString &Name, const QByteArray &Content) const
    {
        QFile F(Path(Name));
        ASSERT_TRUE(F.open(QIODevice::WriteOnly));
        F.write(Content);
    }
    QByteArray Read(const QString &Name) const
    {
        QFile F(Path(Name));
        return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray();
    }
    bool Exists(const QString &Name) const { return QFile::exists(Path(Name)); }
    // The folder's entries with their sizes and times, to see that nothing
    // was written.
    QStringList Listing() const
    {
        QStringList L;
        for (const QFileInfo &I :
             QDir(Dir.path()).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            L << I.fileName() + u' ' + QString::number(I.size()) + u' ' +
                     QString::number(I.lastModified().toMSecsSinceEpoch());
        return L;
    }
    // An argument, written as text or as a string.
    struct Arg
    {
        Arg(const char *Text) : Text(QString::fromUtf8(Text)) {}
        Arg(const QString &Text) : Text(Text) {}
        QString Text;
    };
    // The program's arguments: the command, this test's data folder, and more.
    QStringList Command(const char *Name, std::initializer_list<Arg> More = {}) const
    {
        QStringList L;
        for (const Arg &A : More)
            L << A.Text;
        return CommandWith(Name, L);
    }
    QStringList CommandWith(const char *Name, const QStringList &More) const
    {
        return QStringList{QLatin1StringView(Name), QStringLiteral("--dir"), Dir.path()} + More;
    }

    QTemporaryDir Dir;
};
