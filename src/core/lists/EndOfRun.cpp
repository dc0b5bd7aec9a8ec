#include "lists/EndOfRun.h"

#include "lists/ListFiles.h"
#include "lists/ListSort.h"

#include <algorithm>

namespace leecher {

qsizetype RemoveAdjacentDuplicates(TProxyList &list)
{
    const auto newEnd =
        std::unique(list.begin(), list.end(), [](const TProxyItem &a, const TProxyItem &b) {
            return a.Host == b.Host && a.Port == b.Port;
        });
    const auto removed = qsizetype(list.end() - newEnd);
    list.erase(newEnd, list.end());
    return removed;
}

QString RemovedDuplicatesText(qsizetype count)
{
    return QStringLiteral("Removed ") + QString::number(count) + QStringLiteral(" Duplicates");
}

TEndOfRunResult EndOfRunFileStep(TProxyList &list, const QString &folder, bool dupes,
                                 bool writeFile, const TStatusSink &status)
{
    TEndOfRunResult result;
    if (list.empty())
        return result;
    result.Ran = true;
    const auto say = [&status](const QString &text) {
        if (status)
            status(text);
    };
    QByteArray lines;
    if (dupes) {
        say(QStringLiteral("Sorting List"));
        result.Removed = SortAndRemoveDuplicates(
            list, [&say] { say(QStringLiteral("Removing Duplicates")); },
            writeFile ? &lines : nullptr);
        result.Sorted = true;
        say(RemovedDuplicatesText(result.Removed));
    }
    if (writeFile) {
        if (dupes)
            WriteFileAtomically(ProxiesTxtPath(folder), lines);
        else
            WriteProxyList(ProxiesTxtPath(folder), list);
        result.Written = true;
    }
    return result;
}

} // namespace leecher
