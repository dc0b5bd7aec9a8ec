#include "lists/LeechedLinks.h"

#include "lists/ListFiles.h"
#include "lists/ListReader.h"

#include <QFileInfo>

namespace leecher {

namespace {

unsigned char Folded(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? u + ('a' - 'A') : u;
}

} // namespace

bool TLeechedLinks::CaseInsensitiveLess::operator()(QByteArrayView a, QByteArrayView b) const
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char x = Folded(a[i]);
        const unsigned char y = Folded(b[i]);
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

bool TLeechedLinks::Contains(QByteArrayView link) const
{
    return links_.find(link) != links_.end();
}

bool TLeechedLinks::Add(const QByteArray &link)
{
    return links_.insert(link).second;
}

std::vector<QByteArray> TLeechedLinks::Links() const
{
    return std::vector<QByteArray>(links_.begin(), links_.end());
}

void TLeechedLinks::LoadFromFile(const QString &path)
{
    for (QByteArray &line : SplitListLines(ReadListFile(path).Text))
        links_.insert(std::move(line));
}

void TLeechedLinks::SaveToFile(const QString &path) const
{
    WriteFileAtomically(path, JoinListLines(Links()));
}

bool TLeechedLinks::Load(const QString &folder)
{
    const QString path = LeechedIniPath(folder);
    if (!QFileInfo::exists(path))
        return false;
    LoadFromFile(path);
    return true;
}

void TLeechedLinks::Save(const QString &folder) const
{
    SaveToFile(LeechedIniPath(folder));
}

} // namespace leecher
