// The address parser, case by case.
#include "net/HostCheck.h"
#include "net/HttpProt.h"

#include <gtest/gtest.h>

using net::ParseURL;
using net::TURLParts;

namespace {

struct UrlCase
{
    const char *Url;
    const char *Base;
    TURLParts Want; // Proto, User, Pass, Host, Port, Path
};

void PrintTo(const TURLParts &P, std::ostream *Os)
{
    *Os << "{" << P.Proto.constData() << "|" << P.User.constData() << "|" << P.Pass.constData()
        << "|" << P.Host.constData() << "|" << P.Port.constData() << "|" << P.Path.constData()
        << "}";
}

} // namespace

namespace net {
void PrintTo(const TURLParts &P, std::ostream *Os)
{
    ::PrintTo(P, Os);
}
} // namespace net

TEST(ParseURL, TableOfAddresses)
{
    const UrlCase Cases[] = {
        {"", "/x", {}},
        {"http://host/a/b", "", {"http", "", "", "host", "", "/a/b"}},
        {"http://host", "", {"http", "", "", "host", "", ""}},
        {"http://user:pw@host:8080/p?q=1", "", {"http", "user", "pw", "host", "8080", "/p?q=1"}},
        {"http://host?x=1/y", "", {"http", "", "", "host", "", "?x=1/y"}},
        {"http://host/a?b/c", "", {"http", "", "", "host", "", "/a?b/c"}},
        {"http://h:/x", "", {"http", "", "", "h", "", "/x"}},
        {"ftp://files.example:21/pub", "", {"ftp", "", "", "files.example", "21", "/pub"}},
        {"a+b-c.1://h/p", "", {"a+b-c.1", "", "", "h", "", "/p"}},
        {"://h/p", "", {"", "", "", "h", "", "/p"}},
        // Not a scheme (capitals, "_"): the address is read as if it had no "://".
        {"HTTP://Host/x", "", {"http", "", "", "", "", "/Host/x"}},
        {"A_B://x/y", "", {"http", "", "", "A_B", "", "//x/y"}},
        {"host:81", "", {"", "", "", "host", "81", ""}},
        {"host", "", {"", "", "", "host", "", ""}},
        {"10.0.0.1:3128", "", {"", "", "", "10.0.0.1", "3128", ""}},
        {"user@host", "", {"", "user", "", "host", "", ""}},
        {"u:p@host", "", {"", "u", "p", "host", "", ""}},
        {"u@h:8", "", {"", "u", "", "h", "8", ""}},
        {"/path/x", "", {"http", "", "", "", "", "/path/x"}},
        {"/", "", {"http", "", "", "", "", "/"}},
        {"//host/x", "", {"http", "", "", "", "", "/host/x"}},
        {"http:/x", "", {"http", "", "", "", "", "/x"}},
        {"http:x", "", {"http", "", "", "", "", ""}},
        {"Http:hostonly/p", "", {"http", "", "", "", "", "hostonly/p"}},
        {"mailto:joe@example.com", "", {"mailto", "joe", "", "example.com", "", ""}},
        {"./c.html", "/a/b/x.html", {"", "", "", "", "", "/a/b/c.html"}},
        {"./c.html", "nodir", {"", "", "", "", "", "/c.html"}},
        {"../c.html", "/a/b/x.html", {"", "", "", "", "", "/a/c.html"}},
        {"../../c", "/a/b/x", {"", "", "", "", "", "/c"}},
        {"../../../c", "/a/x", {"", "", "", "", "", "/c"}},
        {"../", "/a/b/", {"", "", "", "", "", "/a/"}},
    };
    for (const UrlCase &C : Cases)
        EXPECT_EQ(ParseURL(C.Url, C.Base), C.Want) << "URL " << C.Url << " base " << C.Base;
}

TEST(HttpAddress, ControlBytesFoundAtEveryPositionAndValue)
{
    // Every byte value at every position of texts shorter and longer than
    // the eight bytes the check takes at a time, among harmless neighbours
    // (high bytes included, which must not count).
    for (int Length = 1; Length <= 19; ++Length) {
        for (int At = 0; At < Length; ++At) {
            for (int B = 0; B < 256; ++B) {
                QByteArray Text(Length, 'a');
                for (int I = 0; I < Length; ++I)
                    Text[I] = (I % 3 == 0) ? char(0xE9) : (I % 3 == 1 ? ' ' : '~');
                Text[At] = char(B);
                const bool Control = B < 0x20 || B == 0x7F;
                ASSERT_EQ(net::HasControlByte(Text), Control)
                    << "length " << Length << " byte " << B << " at " << At;
                ASSERT_EQ(net::HasBlankOrControl(Text), Control || Text.contains(' '));
            }
        }
    }
    EXPECT_FALSE(net::HasControlByte(QByteArray()));
    EXPECT_FALSE(net::HasBlankOrControl("host.example"));
    EXPECT_TRUE(net::HasBlankOrControl("host example"));
}

TEST(HttpAddress, RelativePathsSpacesAndBlanks)
{
    const struct
    {
        const char *Current, *Value, *Want;
    } Relative[] = {
        {"/dir/a?q=/z", "c2?x=1", "/dir/c2?x=1"},
        {"/dir/", "b", "/dir/b"},
        {"", "b", "/b"},
        {"?q=1", "b", "/b"},
        {"/a/b:c", "d", "/a/b:d"},
        {"/a:b/c", "d", "/a:b/d"},
    };
    for (const auto &C : Relative)
        EXPECT_EQ(net::RelativePath(C.Current, C.Value), QByteArray(C.Want)) << C.Current;

    EXPECT_EQ(net::SpacesEncoded("/a b/c  d"), QByteArray("/a%20b/c%20%20d"));
    EXPECT_EQ(net::SpacesEncoded("/plain"), QByteArray("/plain"));
    EXPECT_EQ(net::TrimmedBlanks(" \t/x y \t"), QByteArray("/x y"));
    EXPECT_EQ(net::TrimmedBlanks(" \t "), QByteArray());
}

TEST(HttpAddress, HostsThatMayBeLookedUp)
{
    using net::THostForm;
    const QByteArray Label63(63, 'a'), Label64(64, 'a');
    // Three labels of 63 bytes and one of 61 with their dots: 253, the most a name may have.
    const QByteArray Name253 = Label63 + '.' + Label63 + '.' + Label63 + '.' + QByteArray(61, 'b');
    const struct
    {
        QByteArray Host;
        THostForm Want;
    } Cases[] = {
        {"10.0.0.1", THostForm::IPv4},
        {"255.255.255.255", THostForm::IPv4},
        {"256.1.1.1", THostForm::Invalid},
        {"1.2.3", THostForm::Invalid},
        {"1.2.3.4.", THostForm::Invalid},
        {" 1.2.3.4", THostForm::Invalid},
        {"[::1]", THostForm::IPv6},
        {"[2001:db8::1.2.3.4]", THostForm::IPv6},
        {"[::1%25eth0]", THostForm::Invalid},
        {"[fe80::1%eth0]", THostForm::Invalid},
        {"::1", THostForm::Invalid},
        {"[host]", THostForm::Invalid},
        {"localhost", THostForm::Name},
        {"Proxy-1_a.Example.", THostForm::Name},
        {"xn--bcher-kva.example", THostForm::Name},
        {"1.2.3.example", THostForm::Name},
        {"b\xc3\xbc"
         "cher.example",
         THostForm::Invalid},
        {Label63 + ".example", THostForm::Name},
        {Label64 + ".example", THostForm::Invalid},
        {Name253, THostForm::Name},
        {Name253 + '.', THostForm::Name},
        {Name253 + 'b', THostForm::Invalid},
        {"", THostForm::Invalid},
        {".", THostForm::Invalid},
        {".example", THostForm::Invalid},
        {"a..example", THostForm::Invalid},
        {"host example", THostForm::Invalid},
        {"host:80", THostForm::Invalid},
        {"user@host", THostForm::Invalid},
        {QByteArray("host\0x", 6), THostForm::Invalid},
        {"\377\377\377HTTP", THostForm::Invalid},
    };
    for (const auto &C : Cases)
        EXPECT_EQ(net::HostForm(C.Host), C.Want) << C.Host.toPercentEncoding().constData();
}
