#include "lists/ListFiles.h"

#include "lists/ListReader.h"
#include "lists/ListSort.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace leecher {

namespace {

[[noreturn]] void Fail(const char *what, const QString &path, const QString &systemMessage)
{
    EFileError::Raise(what, path, systemMessage);
}

bool IsBlankLine(QByteArrayView line)
{
    for (char c : line) {
        if (static_cast<unsigned char>(c) > 32)
            return false;
    }
    return true;
}

} // namespace

QString SitesIniPath(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("Sites.ini"));
}

QString ProxiesTxtPath(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("Proxies.txt"));
}

QString LeechedIniPath(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("Leeched.ini"));
}

QByteArray ReadFileBytes(const QString &path)
{
    QFile file(path);
    if (QFileInfo(path).isDir())
        Fail("Cannot open file ", path, QStringLiteral("Is a directory"));
    if (!file.open(QIODevice::ReadOnly))
        Fail("Cannot open file ", path, file.errorString());
    QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        Fail("Cannot read file ", path, file.errorString());
    return content;
}

std::vector<QByteArray> SplitListLines(QByteArrayView content)
{
    std::vector<QByteArray> lines;
    const qsizetype n = content.size();
    qsizetype start = 0;
    while (start < n) {
        qsizetype end = start;
        while (end < n && content[end] != '\r' && content[end] != '\n')
            ++end;
        const QByteArrayView line = content.sliced(start, end - start);
        if (!IsBlankLine(line))
            lines.push_back(line.toByteArray());
        if (end < n && content[end] == '\r' && end + 1 < n && content[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

QByteArray JoinListLines(const std::vector<QByteArray> &lines)
{
    qsizetype total = 0;
    for (const QByteArray &line : lines)
        total += line.size() + 2;
    QByteArray out;
    out.reserve(total);
    for (const QByteArray &line : lines) {
        out.append(line);
        out.append("\r\n", 2);
    }
    return out;
}

QByteArray ProxyText(const TProxyItem &proxy)
{
    QByteArray text = net::ProxyTypePrefix(proxy.Type);
    text.reserve(text.size() + proxy.Host.size() + 1 + proxy.Port.size());
    text.append(proxy.Host.view());
    text.append(':');
    text.append(proxy.Port.view());
    return text;
}

qsizetype AppendSitesFromFile(const QString &path, TSiteList &list, qsizetype *longLines)
{
    const TListText text = ReadListFile(path);
    if (longLines)
        *longLines = text.LongLines;
    const std::vector<QByteArray> lines = SplitListLines(text.Text);
    list.reserve(list.size() + lines.size());
    for (const QByteArray &line : lines)
        list.push_back(TSiteItem{line, QString(), 0, ssIdle});
    return qsizetype(lines.size());
}

void WriteSiteList(const QString &path, const TSiteList &list)
{
    TFileReplacer writer(path);
    for (const TSiteItem &site : list) {
        writer.Append(site.URL);
        writer.Append("\r\n");
    }
    writer.Commit();
}

void AppendProxyLine(QByteArray &out, const TProxyItem &proxy)
{
    if (proxy.Type != net::ptHttp)
        out.append(net::ProxyTypePrefix(proxy.Type));
    out.append(proxy.Host.view());
    out.append(':');
    out.append(proxy.Port.view());
    out.append("\r\n", 2);
}

void WriteProxyList(const QString &path, const TProxyList &list)
{
    TFileReplacer writer(path);
    // Each line goes to the writer whole, through one buffer kept for all.
    QByteArray line;
    for (const TProxyItem &proxy : list) {
        line.resize(0);
        AppendProxyLine(line, proxy);
        writer.Append(line);
    }
    writer.Commit();
}

void WriteCleanedProxyList(const QString &path, const TCleanedProxies &list)
{
    TFileReplacer writer(path);
    char line[TCleanedProxies::LineRoom];
    for (std::size_t i = 0; i < list.size(); ++i) {
        const qsizetype n = list.CopyLine(i, line);
        if (n >= 0)
            writer.Append(QByteArrayView(line, n));
        else
            writer.Append(ProxyText(list.At(i)) + "\r\n");
    }
    writer.Commit();
}

std::optional<qsizetype> LoadSitesIni(const QString &folder, TSiteList &list, qsizetype *longLines)
{
    const QString path = SitesIniPath(folder);
    if (!QFileInfo::exists(path))
        return std::nullopt;
    return AppendSitesFromFile(path, list, longLines);
}

bool SaveSitesIni(const QString &folder, const TSiteList &list)
{
    if (list.empty())
        return false;
    WriteSiteList(SitesIniPath(folder), list);
    return true;
}

bool DeleteProxiesTxt(const QString &folder)
{
    const QString path = ProxiesTxtPath(folder);
    QFile file(path);
    if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
        return false;
    if (!file.remove())
        Fail("Cannot delete file ", path, file.errorString());
    return true;
}

QString LoadedSitesText(qsizetype count)
{
    return QStringLiteral("Loaded ") + QString::number(count) + QStringLiteral(" Sites");
}

QString SavedSitesText(qsizetype count)
{
    return QStringLiteral("Saved ") + QString::number(count) + QStringLiteral(" Sites");
}

QString SavedProxiesText(qsizetype count)
{
    return QStringLiteral("Saved ") + QString::number(count) + QStringLiteral(" Proxies");
}

} // namespace leecher
