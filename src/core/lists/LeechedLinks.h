// The result-page links the search harvest has already leeched (Leeched.ini).
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <set>
#include <vector>

namespace leecher {

// A sorted set of links compared without regard to ASCII letter case; adding a
// link it already holds (in any case) changes nothing.
class TLeechedLinks
{
public:
    bool Contains(QByteArrayView link) const;
    // Adds `link`; false when an equal link was already there.
    bool Add(const QByteArray &link);
    qsizetype Count() const { return qsizetype(links_.size()); }
    void Clear() { links_.clear(); }
    // The links in their sorted order.
    std::vector<QByteArray> Links() const;

    // Adds the non-blank lines of a file. Raises EFileError when it cannot be read.
    void LoadFromFile(const QString &path);
    // Replaces the file with the links in sorted order, one per line.
    // Raises EFileError when it cannot be written.
    void SaveToFile(const QString &path) const;

    // Leeched.ini of `folder`: a missing file loads nothing (returns false).
    bool Load(const QString &folder);
    void Save(const QString &folder) const;

    // Orders texts by their bytes with ASCII letters folded to lower case.
    struct CaseInsensitiveLess
    {
        using is_transparent = void;
        bool operator()(QByteArrayView a, QByteArrayView b) const;
    };

private:
    std::set<QByteArray, CaseInsensitiveLess> links_;
};

} // namespace leecher
