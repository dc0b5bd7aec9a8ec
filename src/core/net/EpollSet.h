// One epoll set watched by a single QSocketNotifier on the Qt event loop.
//
// Many descriptors then cost the event loop one poll entry and one wake-up
// instead of one notifier each, which is what keeps a server or a run with
// tens of thousands of sockets from scanning all of them at every wake-up.
// Still single-threaded: ready descriptors are handed to the owner's handler
// from the loop, in the order epoll reports them. The handler must not delete
// the set itself, nor run a nested event loop.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QSocketNotifier;
struct epoll_event;

namespace net {

class TEpollSet : public QObject
{
    Q_OBJECT

public:
    // Called for every ready descriptor with the tag it was watched with and
    // the epoll events (EPOLLIN, EPOLLOUT, EPOLLERR, EPOLLHUP, ...).
    using THandler = std::function<void(void *tag, unsigned events)>;

    explicit TEpollSet(THandler handler, QObject *parent = nullptr);
    ~TEpollSet() override;

    // Makes the set and its notifier; false with the reason in error.
    bool Open(QString *error);
    bool IsOpen() const { return FEpoll >= 0; }

    // Watches fd for events with tag. current is what the caller last set for
    // this descriptor (0 before it was added) and is updated: unchanged events
    // cost no system call. False when epoll refuses (the descriptor is then
    // not watched).
    bool Watch(int fd, void *tag, unsigned events, unsigned &current);
    // Stops watching fd (call before closing a descriptor that another
    // descriptor may share, or to keep it open unwatched). Events of this tag
    // that are already fetched but not yet handed over are dropped, so a
    // handler may forget or delete other watched objects safely.
    void Forget(int fd, void *tag, unsigned &current);
    // Drops the fetched-but-unhandled events of tag without a system call.
    // Closing a descriptor removes it from the set only once no other process
    // holds a copy of it (a child between fork and exec does): forget a
    // descriptor before closing it unless no process is ever started.
    void Drop(void *tag);

private:
    void OnReady();

    THandler FHandler;
    int FEpoll = -1;
    QSocketNotifier *FNotifier = nullptr;
    // The batch being handed over, so that Forget and Drop can clear it.
    epoll_event *FBatch = nullptr;
    int FBatchNext = 0;
    int FBatchSize = 0;
};

} // namespace net
