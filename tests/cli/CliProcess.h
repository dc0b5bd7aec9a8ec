// Runs the vexo-cli program from a test while the test's own event loop
// keeps serving the loopback peers it talks to.
//
//   CliRun R = runCli({"leech", "--dir", Dir.path()});
//   EXPECT_EQ(R.exitCode, 0);
#pragma once

#include "support/EventLoop.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>

#include <csignal>

namespace testsupport {

inline QString cliProgram()
{
    return QStringLiteral(VEXO_CLI_PROGRAM);
}

struct CliRun
{
    bool finished = false;
    int exitCode = -1;
    QByteArray out; // standard output
    QByteArray err; // standard error
};

class CliProcess
{
public:
    // Standard input gets `input` and is then closed. `beforeExec` runs in
    // the child before the program starts (dropping rights, lowering limits).
    explicit CliProcess(const QStringList &arguments, const QByteArray &input = {},
                        std::function<void()> beforeExec = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("TERM")); // plain progress lines
        // The program asks no one for a name (wait() fails a test whose
        // program tried); a sanitized build lets the preload come first.
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VEXO_NO_LOOKUPS_PRELOAD));
        env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                       QStringLiteral(":verify_asan_link_order=0"));
        FProcess.setProcessEnvironment(env);
        if (beforeExec)
            FProcess.setChildProcessModifier(beforeExec);
        FProcess.start(cliProgram(), arguments);
        FStarted = FProcess.waitForStarted(10000);
        if (FStarted) {
            if (!input.isEmpty())
                FProcess.write(input);
            FProcess.closeWriteChannel();
        }
    }
    ~CliProcess()
    {
        if (FProcess.state() != QProcess::NotRunning) {
            FProcess.kill();
            FProcess.waitForFinished(5000);
        }
    }

    bool started() const { return FStarted; }
    qint64 pid() const { return FProcess.processId(); }
    // Only while it runs: a finished process has no id, and kill(0, ...)
    // would signal the whole process group, the test runner included.
    void signal(int Signal)
    {
        if (const qint64 Id = FProcess.processId(); Id > 0)
            ::kill(pid_t(Id), Signal);
    }
    // Standard error so far.
    QByteArray err()
    {
        FErr += FProcess.readAllStandardError();
        return FErr;
    }

    // Serves the event loop until the program has ended (or TimeoutMs).
    CliRun wait(int TimeoutMs = 30000)
    {
        CliRun R;
        R.finished = FStarted && waitUntil(
                                     [&] {
                                         FOut += FProcess.readAllStandardOutput();
                                         FErr += FProcess.readAllStandardError();
                                         return FProcess.state() == QProcess::NotRunning;
                                     },
                                     TimeoutMs);
        FOut += FProcess.readAllStandardOutput();
        FErr += FProcess.readAllStandardError();
        R.exitCode =
            R.finished && FProcess.exitStatus() == QProcess::NormalExit ? FProcess.exitCode() : -1;
        R.out = FOut;
        R.err = FErr;
        EXPECT_FALSE(FErr.contains("asked the system's resolver")) << FErr.constData();
        return R;
    }

private:
    QProcess FProcess;
    bool FStarted = false;
    QByteArray FOut, FErr;
};

inline CliRun runCli(const QStringList &Arguments, int TimeoutMs = 30000,
                     const QByteArray &Input = {})
{
    CliProcess P(Arguments, Input);
    return P.wait(TimeoutMs);
}

} // namespace testsupport
