#include "harvester/GoogleLinks.h"

#include "leecher/PageRegex.h"
#include "lists/ListFiles.h"

namespace harvester {

namespace {

const leecher::TPageRegex &ResultPattern()
{
    static const leecher::TPageRegex pattern("<p class=g><a href=(https?://)(.*?)(>)");
    return pattern;
}

} // namespace

QByteArray GetGoogleLinks(QByteArrayView page)
{
    QByteArray links;
    ResultPattern().ForEachMatch(page, [&links](QByteArrayView match) {
        const qsizetype start = match.indexOf("href=") + 5;
        links.append(match.sliced(start, match.size() - 1 - start)).append("\r\n");
        return true;
    });
    return links;
}

std::deque<QByteArray> LinkLines(QByteArrayView links)
{
    std::vector<QByteArray> lines = leecher::SplitListLines(links);
    return std::deque<QByteArray>(std::make_move_iterator(lines.begin()),
                                  std::make_move_iterator(lines.end()));
}

} // namespace harvester
