// The shared epoll set: ready descriptors reach the handler with their tag,
// and a handler may forget another descriptor whose event is already fetched.
#include "net/EpollSet.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

using net::TEpollSet;
using testsupport::waitUntil;

namespace {

struct TPair
{
    int Fd[2] = {-1, -1};
    unsigned Events = 0;
    TPair() { ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, Fd); }
    ~TPair()
    {
        for (int fd : Fd)
            if (fd >= 0)
                ::close(fd);
    }
    void Send() { ASSERT_EQ(::write(Fd[1], "x", 1), 1); }
};

} // namespace

TEST(EpollSet, ReadyDescriptorsReachTheHandlerAndAForgottenOneNoMore)
{
    TPair a, b, c;
    std::vector<void *> seen;
    TEpollSet *set = nullptr;
    TEpollSet ready([&](void *tag, unsigned events) {
        EXPECT_TRUE(events & EPOLLIN);
        seen.push_back(tag);
        char byte;
        EXPECT_EQ(::read(static_cast<TPair *>(tag)->Fd[0], &byte, 1), 1);
        // Whichever comes first forgets the others: their events, fetched
        // in the same batch, must not be handed over.
        for (TPair *p : {&a, &b, &c})
            if (p != tag)
                set->Forget(p->Fd[0], p, p->Events);
    });
    set = &ready;
    ASSERT_TRUE(ready.Open(nullptr));
    for (TPair *p : {&a, &b, &c}) {
        ASSERT_TRUE(ready.Watch(p->Fd[0], p, EPOLLIN, p->Events));
        p->Send();
    }
    EXPECT_TRUE(waitUntil([&] { return !seen.empty(); }, 2000));
    // A later turn of the loop brings nothing more: the others are forgotten.
    waitUntil([] { return false; }, 50);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(a.Events + b.Events + c.Events, unsigned(EPOLLIN));
    // Watching the same events again costs nothing and changes nothing; a
    // closed descriptor is refused.
    TPair *first = static_cast<TPair *>(seen.front());
    EXPECT_TRUE(ready.Watch(first->Fd[0], first, EPOLLIN, first->Events));
    unsigned none = 0;
    EXPECT_FALSE(ready.Watch(-1, nullptr, EPOLLIN, none));
    EXPECT_EQ(none, 0u);
}
