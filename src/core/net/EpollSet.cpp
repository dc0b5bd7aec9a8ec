#include "EpollSet.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

#include <sys/epoll.h>
#include <unistd.h>

namespace net {

TEpollSet::TEpollSet(THandler handler, QObject *parent)
    : QObject(parent), FHandler(std::move(handler))
{
}

TEpollSet::~TEpollSet()
{
    if (FEpoll >= 0)
        ::close(FEpoll);
}

bool TEpollSet::Open(QString *error)
{
    if (FEpoll >= 0)
        return true;
    FEpoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (FEpoll < 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    FNotifier = new QSocketNotifier(FEpoll, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TEpollSet::OnReady);
    return true;
}

bool TEpollSet::Watch(int fd, void *tag, unsigned events, unsigned &current)
{
    if (current == events)
        return true;
    epoll_event e{};
    e.events = events;
    e.data.ptr = tag;
    const int op = current == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
    if (::epoll_ctl(FEpoll, op, fd, &e) != 0)
        return false;
    current = events;
    return true;
}

void TEpollSet::Forget(int fd, void *tag, unsigned &current)
{
    if (current != 0) {
        epoll_event e{}; // kernels before 2.6.9 want a non-null pointer
        ::epoll_ctl(FEpoll, EPOLL_CTL_DEL, fd, &e);
        current = 0;
    }
    Drop(tag);
}

void TEpollSet::Drop(void *tag)
{
    for (int i = FBatchNext; i < FBatchSize; ++i) {
        if (FBatch[i].data.ptr == tag)
            FBatch[i].data.ptr = nullptr;
    }
}

void TEpollSet::OnReady()
{
    constexpr int Batch = 256;
    epoll_event events[Batch];
    int n;
    do {
        n = ::epoll_wait(FEpoll, events, Batch, 0);
        FBatch = events;
        FBatchSize = n > 0 ? n : 0;
        // epoll reports a descriptor once per call; a full batch may leave
        // more behind, so ask again.
        for (FBatchNext = 0; FBatchNext < FBatchSize;) {
            const epoll_event &e = events[FBatchNext++];
            if (e.data.ptr)
                FHandler(e.data.ptr, e.events);
        }
        FBatch = nullptr;
        FBatchSize = FBatchNext = 0;
    } while (n == Batch);
}

} // namespace net
