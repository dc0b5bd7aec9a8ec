// The error raised when a list file cannot be read or written.
#pragma once

#include <QString>

#include <stdexcept>

namespace leecher {

// Carries the system's message (for example "Permission denied") together with
// the file it concerns, ready for the standard error box. Nothing was half
// written when it is raised: a rewritten file is either the old one or the new one.
class EFileError : public std::runtime_error
{
public:
    EFileError(const QString &path, const QString &message, const QString &reason = {});

    // Raises `what` + the quoted path + ". " + `reason`, as in
    // Cannot write file "/tmp/x.txt". Permission denied
    [[noreturn]] static void Raise(const char *what, const QString &path, const QString &reason);

    // The whole text for the user, naming the file and the system's message.
    QString Message() const { return message_; }
    QString Path() const { return path_; }
    // The system's message alone, when it was raised with one.
    QString Reason() const { return reason_; }

private:
    QString path_;
    QString message_;
    QString reason_;
};

} // namespace leecher
