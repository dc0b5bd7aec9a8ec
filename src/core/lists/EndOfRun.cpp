#include "lists/EndOfRun.h"

#include "lists/ListFiles.h"
#include "lists/ListSort.h"

#include <algorithm>
#include <utility>

namespace leecher {

qsizetype RemoveAdjacentDuplicates(TProxyList &list)
{
    const auto newEnd =
        std::unique(list.begin(), list.end(), [](const TProxyItem &a, const TProxyItem &b) {
            return a.Host == b.Host && a.Port == b.Port && a.Type == b.Type;
        });
    const auto removed = qsizetype(list.end() - newEnd);
    list.erase(newEnd, list.end());
    return removed;
}

QString RemovedDuplicatesText(qsizetype count)
{
    return QStringLiteral("Removed ") + QString::number(count) + QStringLiteral(" Duplicates");
}

TEndOfRunResult EndOfRunFileStep(const TProxyList &list, std::optional<TCleanedProxies> &cleaned,
                                 const QString &folder, bool dupes, bool writeFile,
                                 const TStatusSink &status)
{
    TEndOfRunResult result;
    if (list.empty())
        return result;
    result.Ran = true;
    const auto say = [&status](const QString &text) {
        if (status)
            status(text);
    };
    if (dupes) {
        say(QStringLiteral("Sorting List"));
        cleaned.emplace(list, [&say] { say(QStringLiteral("Removing Duplicates")); });
        result.Removed = cleaned->Removed();
        result.Sorted = true;
        say(RemovedDuplicatesText(result.Removed));
    }
    if (writeFile) {
        if (dupes)
            WriteCleanedProxyList(ProxiesTxtPath(folder), *cleaned);
        else
            WriteProxyList(ProxiesTxtPath(folder), list);
        result.Written = true;
    }
    return result;
}

TEndOfRunResult EndOfRunFileStep(TProxyList &list, const QString &folder, bool dupes,
                                 bool writeFile, const TStatusSink &status)
{
    std::optional<TCleanedProxies> cleaned;
    TEndOfRunResult result;
    try {
        result = EndOfRunFileStep(std::as_const(list), cleaned, folder, dupes, writeFile, status);
    } catch (...) {
        // A failed write comes after the cleaning, which the list keeps.
        if (cleaned)
            cleaned->PutInto(list);
        throw;
    }
    if (cleaned)
        cleaned->PutInto(list);
    return result;
}

} // namespace leecher
