// One TLS client session driven entirely through memory buffers.
//
// The session does no I/O of its own: ciphertext that the socket received is
// fed in, ciphertext for the peer is taken out and handed to the socket, and
// plaintext goes in and out through Write and Read. So the HTTP client keeps
// its non-blocking socket, its events and its posted completions whether a
// connection is plain or encrypted.
//
// Sessions speak TLS 1.2 and 1.3 only, name the host through SNI and, when
// asked to verify, check the peer's chain against the system's trust store
// (SSL_CERT_FILE and SSL_CERT_DIR, when set, name another one) and the host
// name (or IP address) against the certificate.
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <atomic>

typedef struct ssl_st SSL;
typedef struct bio_st BIO;

namespace net {

class TTlsSession
{
public:
    TTlsSession(const QByteArray &Host, bool Verify);
    ~TTlsSession();
    TTlsSession(const TTlsSession &) = delete;
    TTlsSession &operator=(const TTlsSession &) = delete;

    // False when no session could be made; Error() then says why.
    bool Valid() const { return FSsl != nullptr; }

    enum class TProgress { WantMore, Done, Failed };
    // Advances the handshake with what has been fed so far. Output for the
    // peer (the hello, an alert) is waiting afterwards in every case.
    TProgress Handshake();

    // Ciphertext received from the peer.
    void Feed(const char *Data, qint32 Len);
    // Ciphertext for the peer, taken out of the session.
    QByteArray TakeOutput();
    bool HasOutput() const;

    // Result of Read besides a positive byte count.
    static constexpr qint32 ReadWantMore = 0; // no whole record yet
    static constexpr qint32 ReadClosed = -1;  // the peer ended the session (close_notify)
    static constexpr qint32 ReadFailed = -2;  // an alert or a broken record: Error()
    // Plaintext into Buffer, at most Len bytes.
    qint32 Read(char *Buffer, qint32 Len);
    // Whether plaintext can be read without more ciphertext.
    bool HasPlaintext();
    // Encrypts the bytes; the records are then waiting as output. False on
    // failure: Error().
    bool Write(const char *Data, qint32 Len);

    // Why the last step failed, as a reason phrase ("TLS: ...").
    const QByteArray &Error() const { return FError; }
    // Ciphertext held in the session's buffers, both ways.
    qint64 BytesBuffered() const;
    // Sessions that exist in the process: each request's ends with it.
    static int LiveCount();

private:
    // Reads the reason of a failure: the verification result during the
    // handshake, else the library's queued error.
    void SetError();

    SSL *FSsl = nullptr;
    BIO *FIn = nullptr;  // owned by FSsl
    BIO *FOut = nullptr; // owned by FSsl
    bool FVerify;
    bool FHandshakeDone = false;
    QByteArray FError;
    static std::atomic<int> FLive;
};

} // namespace net
