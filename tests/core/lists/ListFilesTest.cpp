// Site and proxy list files, Sites.ini, Proxies.txt and Leeched.ini: line
// handling, CR LF, atomic rewrites and the errors that reach the user; links
// planted by others, files of any size and endless lines.
#include "lists/ListFiles.h"
#include "analyser/AnalyserFiles.h"
#include "lists/LeechedLinks.h"
#include "lists/ListReader.h"

#include "FileLimit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

using namespace leecher;

namespace {

QByteArray B(std::string_view s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

void Put(const QString &path, const QByteArray &content)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(content), content.size());
}

QByteArray Get(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

std::vector<std::string> Urls(const TSiteList &list)
{
    std::vector<std::string> out;
    for (const TSiteItem &s : list)
        out.push_back(s.URL.toStdString());
    return out;
}

class ListFiles : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString folder() const { return dir.path(); }
    QString file(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
};

TEST_F(ListFiles, ReadingASiteListKeepsNonBlankLinesWhole)
{
    struct Case
    {
        const char *name;
        std::string content;
        std::vector<std::string> urls;
    };
    const Case cases[] = {
        {"crlf", "a\r\nb\r\n", {"a", "b"}},
        {"no_final_break", "a\nb", {"a", "b"}},
        {"lone_cr", "a\rb\r", {"a", "b"}},
        {"lf_cr_two_breaks", "a\n\rb", {"a", "b"}},
        {"blank_and_space_lines", "\r\n  \r\n\t\r\nx\r\n \x01\x1f\r\n", {"x"}},
        {"spaces_kept", "  lead\r\ntrail  \r\n", {"  lead", "trail  "}},
        {"eight_bit_kept", "\xa1\xa1\r\nhttp://\xd5\xbe/\r\n", {"\xa1\xa1", "http://\xd5\xbe/"}},
        {"empty", "", {}},
    };
    for (const Case &c : cases) {
        const QString path = file("list.txt");
        Put(path, B(c.content));
        TSiteList list{TSiteItem{"old", QStringLiteral("Timeout"), 7, ssTimeout}};
        const qsizetype added = AppendSitesFromFile(path, list);
        EXPECT_EQ(added, qsizetype(c.urls.size())) << c.name;
        std::vector<std::string> expected{"old"};
        expected.insert(expected.end(), c.urls.begin(), c.urls.end());
        EXPECT_EQ(Urls(list), expected) << c.name;
        EXPECT_EQ(list[0].State, ssTimeout) << c.name; // existing entries stay as they were
        for (std::size_t i = 1; i < list.size(); ++i) {
            EXPECT_TRUE(list[i].Status.isEmpty()) << c.name;
            EXPECT_EQ(list[i].BytesRead, 0) << c.name;
            EXPECT_EQ(list[i].State, ssIdle) << c.name;
        }
    }
}

TEST_F(ListFiles, LoadingTheSameFileTwiceDoublesEverySite)
{
    Put(file("s.txt"), "http://a/\r\nhttp://a/\r\nhttp://b/\r\n");
    TSiteList list;
    EXPECT_EQ(AppendSitesFromFile(file("s.txt"), list), 3);
    EXPECT_EQ(AppendSitesFromFile(file("s.txt"), list), 3);
    EXPECT_EQ(Urls(list), (std::vector<std::string>{"http://a/", "http://a/", "http://b/",
                                                    "http://a/", "http://a/", "http://b/"}));
    EXPECT_EQ(LoadedSitesText(3), QStringLiteral("Loaded 3 Sites"));
}

TEST_F(ListFiles, WritingEndsEveryLineWithCrLf)
{
    const TSiteList sites{{"  http://a/", {}, 0, ssFound}, {"b ", QStringLiteral("x"), 3, 2}};
    WriteSiteList(file("sites.txt"), sites);
    EXPECT_EQ(Get(file("sites.txt")), QByteArray("  http://a/\r\nb \r\n"));

    const TProxyList proxies{{"1.2.3.4", "80"}, {"host\t", "00080"}};
    WriteProxyList(file("proxies.txt"), proxies);
    EXPECT_EQ(Get(file("proxies.txt")), QByteArray("1.2.3.4:80\r\nhost\t:00080\r\n"));

    // A written site list reads back as it was.
    TSiteList back;
    EXPECT_EQ(AppendSitesFromFile(file("sites.txt"), back), 2);
    EXPECT_EQ(Urls(back), (std::vector<std::string>{"  http://a/", "b "}));

    WriteProxyList(file("proxies.txt"), {});
    EXPECT_EQ(Get(file("proxies.txt")), QByteArray());
    EXPECT_EQ(SavedSitesText(2), QStringLiteral("Saved 2 Sites"));
    EXPECT_EQ(SavedProxiesText(0), QStringLiteral("Saved 0 Proxies"));
}

TEST_F(ListFiles, SitesIniInTheProgramFolder)
{
    TSiteList list;
    EXPECT_EQ(LoadSitesIni(folder(), list), std::nullopt); // missing: skipped silently
    EXPECT_TRUE(list.empty());

    Put(SitesIniPath(folder()), "http://kept/\r\n");
    EXPECT_FALSE(SaveSitesIni(folder(), list)); // an empty list keeps the old file
    EXPECT_EQ(Get(SitesIniPath(folder())), QByteArray("http://kept/\r\n"));

    EXPECT_EQ(LoadSitesIni(folder(), list), std::optional<qsizetype>(1));
    list.push_back(TSiteItem{"http://new/", {}, 0, ssIdle});
    EXPECT_TRUE(SaveSitesIni(folder(), list));
    EXPECT_EQ(Get(SitesIniPath(folder())), QByteArray("http://kept/\r\nhttp://new/\r\n"));
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files), QStringList{QStringLiteral("Sites.ini")});
}

TEST_F(ListFiles, DeletingProxiesTxt)
{
    EXPECT_FALSE(DeleteProxiesTxt(folder())); // missing is no error
    Put(ProxiesTxtPath(folder()), "1.2.3.4:80\r\n");
    EXPECT_TRUE(DeleteProxiesTxt(folder()));
    EXPECT_FALSE(QFile::exists(ProxiesTxtPath(folder())));
}

TEST_F(ListFiles, UnreadableFilesRaiseTheSystemsMessage)
{
    TSiteList list{TSiteItem{"old", {}, 0, ssIdle}};
    const struct
    {
        QString path;
        const char *message;
    } cases[] = {
        {file("missing.txt"), "No such file"},
        {folder(), "directory"},
    };
    for (const auto &c : cases) {
        try {
            AppendSitesFromFile(c.path, list);
            ADD_FAILURE() << "no error for " << c.path.toStdString();
        } catch (const EFileError &e) {
            EXPECT_TRUE(e.Message().contains(QLatin1String(c.message))) << e.what();
            EXPECT_TRUE(e.Message().contains(QDir::toNativeSeparators(c.path))) << e.what();
            EXPECT_EQ(e.Path(), c.path);
        }
    }
    EXPECT_EQ(Urls(list), std::vector<std::string>{"old"});
}

TEST_F(ListFiles, FailedRewriteLeavesTheOldFile)
{
    // A folder that does not exist, a target that is a folder, and a disk
    // that fills up in the middle of the write.
    const QString old = file("Proxies.txt");
    Put(old, "9.9.9.9:99\r\n");
    TProxyList big;
    for (int i = 0; i < 20000; ++i)
        big.push_back(TProxyItem{"10.0.0." + QByteArray::number(i % 250), "8080"});

    EXPECT_THROW(WriteProxyList(dir.filePath(QStringLiteral("no/such/dir/x.txt")), big),
                 EFileError);
    ASSERT_TRUE(QDir(folder()).mkdir(QStringLiteral("sub")));
    EXPECT_THROW(WriteProxyList(dir.filePath(QStringLiteral("sub")), big), EFileError);
    {
        const vexo_test::FileSizeLimit limit(4096);
        try {
            WriteProxyList(old, big);
            ADD_FAILURE() << "no error for a full disk";
        } catch (const EFileError &e) {
            EXPECT_TRUE(e.Message().contains(QLatin1String("File too large"))) << e.what();
        }
    }
    {
        // Small enough to sit in a write buffer until the file is closed.
        const vexo_test::FileSizeLimit limit(8);
        EXPECT_THROW(WriteSiteList(old, {TSiteItem{"http://a.example/", {}, 0, ssIdle}}),
                     EFileError);
    }
    EXPECT_EQ(Get(old), QByteArray("9.9.9.9:99\r\n"));
    // No temporary file is left behind.
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files), QStringList{QStringLiteral("Proxies.txt")});
}

TEST(LeechedLinks, SortedCaseInsensitiveAndDuplicateIgnoring)
{
    TLeechedLinks links;
    EXPECT_TRUE(links.Add("http://b.example/x"));
    EXPECT_TRUE(links.Add("http://A.example/"));
    EXPECT_FALSE(links.Add("HTTP://B.EXAMPLE/X")); // already there in other case
    EXPECT_TRUE(links.Add("http://a.example/z"));
    EXPECT_TRUE(links.Add("http://B.example/x2"));
    EXPECT_TRUE(links.Contains("http://a.EXAMPLE/"));
    EXPECT_FALSE(links.Contains("http://a.example"));
    EXPECT_EQ(links.Count(), 4);
    const std::vector<QByteArray> expected = {"http://A.example/", "http://a.example/z",
                                              "http://b.example/x", "http://B.example/x2"};
    EXPECT_EQ(links.Links(), expected);
}

TEST_F(ListFiles, LeechedIniRoundTrip)
{
    TLeechedLinks links;
    EXPECT_FALSE(links.Load(folder())); // missing: starts empty
    Put(LeechedIniPath(folder()), "http://z/\r\n\r\n  \r\nhttp://a/\nHTTP://Z/\r\n");
    EXPECT_TRUE(links.Load(folder()));
    EXPECT_EQ(links.Count(), 2);
    links.Add("http://m/");
    links.Save(folder());
    EXPECT_EQ(Get(LeechedIniPath(folder())), QByteArray("http://a/\r\nhttp://m/\r\nhttp://z/\r\n"));

    TLeechedLinks unreadable;
    EXPECT_THROW(unreadable.LoadFromFile(folder()), EFileError);
}

TEST_F(ListFiles, WritesNeverFollowALinkSomeoneElseCouldHavePlanted)
{
    // A folder open to every user, as /tmp, and a file of the writer's
    // elsewhere that a link there points at.
    const QString open = file("open");
    ASSERT_TRUE(QDir(folder()).mkdir(QStringLiteral("open")));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 01777), 0);
    const QString secret = file("secret");
    Put(secret, "secret\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(secret).constData(), 0600), 0);
    struct stat before = {};
    ASSERT_EQ(::stat(QFile::encodeName(secret).constData(), &before), 0);
    const TProxyList proxies{TProxyItem{"1.2.3.4", "80"}};

    struct Case
    {
        const char *name;
        QString link;
        QString target;
        bool otherUser; // the link belongs to "nobody" (root only)
        const char *reason;
    };
    const Case cases[] = {
        {"own link in an open folder", open + QStringLiteral("/a.csv"), secret, false,
         "It is a symbolic link in a folder open to every user"},
        {"another user's link in the writer's folder", file("b.csv"), secret, true,
         "It is a symbolic link of another user"},
        {"another user's dangling link", open + QStringLiteral("/c.csv"), file("created"), true,
         "It is a symbolic link"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QFile::link(c.target, c.link));
        if (c.otherUser) {
            if (::geteuid() != 0)
                continue; // only root can hand a link to another user
            ASSERT_EQ(::lchown(QFile::encodeName(c.link).constData(), 65534, 65534), 0);
        }
        try {
            WriteProxyList(c.link, proxies);
            ADD_FAILURE() << "written through";
        } catch (const EFileError &e) {
            EXPECT_TRUE(e.Message().contains(QLatin1String(c.reason))) << e.what();
            EXPECT_TRUE(e.Message().endsWith(QLatin1String("; give the file itself."))) << e.what();
        }
        EXPECT_TRUE(QFileInfo(c.link).isSymLink());
    }
    struct stat after = {};
    ASSERT_EQ(::stat(QFile::encodeName(secret).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(Get(secret), QByteArray("secret\r\n"));
    EXPECT_FALSE(QFile::exists(file("created")));
    EXPECT_EQ(QDir(open).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks).size(), 0);

    // The writer's own link in its own folder is followed: the file it leads
    // to is replaced, keeping its permissions, and the link stays a link.
    ASSERT_EQ(::chmod(QFile::encodeName(secret).constData(), 0604), 0);
    const QString own = file("Proxies.txt");
    ASSERT_TRUE(QFile::link(secret, own));
    WriteProxyList(own, proxies);
    EXPECT_TRUE(QFileInfo(own).isSymLink());
    EXPECT_EQ(Get(secret), QByteArray("1.2.3.4:80\r\n"));
    ASSERT_EQ(::stat(QFile::encodeName(secret).constData(), &after), 0);
    EXPECT_EQ(after.st_mode & 0777, 0604u);
}

TEST_F(ListFiles, ListsAreReadInPiecesAndLongLinesSkipped)
{
    // A 20 MB line among sites, and in a proxy list: skipped and counted,
    // the lines around it kept.
    const QByteArray endless(20 * 1024 * 1024, 'a');
    const QByteArray longest(MaxListEntryBytes, 'b');
    Put(file("sites.txt"), "http://a/\r\nhttp://" + endless + "\r\n" + longest + "\r\nhttp://c/");
    TSiteList sites;
    qsizetype longLines = -1;
    EXPECT_EQ(AppendSitesFromFile(file("sites.txt"), sites, &longLines), 3);
    EXPECT_EQ(longLines, 1);
    EXPECT_EQ(Urls(sites),
              (std::vector<std::string>{"http://a/", longest.toStdString(), "http://c/"}));
    EXPECT_EQ(WithLongLines(LoadedSitesText(3), longLines),
              QStringLiteral("Loaded 3 Sites; 1 line longer than 8 KiB skipped"));
    Put(file("proxies.txt"), "1.2.3.4:80\n" + endless + ":81\n" + endless + "\n5.6.7.8:82");
    analyser::TAnalyserList proxies;
    EXPECT_EQ(analyser::AppendProxyFile(file("proxies.txt"), proxies, &longLines), 2);
    EXPECT_EQ(longLines, 2);

    // A sparse file past the size cap is refused without being held: what
    // the process holds grows by far less than the file.
    const QString sparse = file("sparse.txt");
    {
        QFile f(sparse);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(MaxListFileBytes + 1));
    }
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    try {
        AppendSitesFromFile(sparse, sites);
        ADD_FAILURE() << "a file over 1 GiB was read";
    } catch (const EFileError &e) {
        EXPECT_TRUE(e.Message().endsWith(QLatin1String("It is larger than 1 GiB."))) << e.what();
    }
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024); // KiB
    EXPECT_EQ(sites.size(), 3u);
}

} // namespace
