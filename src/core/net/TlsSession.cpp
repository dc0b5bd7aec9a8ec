#include "TlsSession.h"

#include "WSocket.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <mutex>

namespace net {

namespace {

// One client context for the process, made again when SSL_CERT_FILE or
// SSL_CERT_DIR name another trust store than the one it was made with, so
// that a store brought in later is honoured too. Loading a store is costly;
// sessions share the context (each holds a reference of its own).
class TClientContext
{
public:
    SSL_CTX *Get()
    {
        const QByteArray Key = qgetenv("SSL_CERT_FILE") + '\n' + qgetenv("SSL_CERT_DIR");
        const std::lock_guard<std::mutex> Hold(FLock);
        if (FCtx && Key == FKey)
            return FCtx;
        SSL_CTX *Ctx = SSL_CTX_new(TLS_client_method());
        if (!Ctx)
            return nullptr;
        SSL_CTX_set_min_proto_version(Ctx, TLS1_2_VERSION);
        SSL_CTX_set_max_proto_version(Ctx, TLS1_3_VERSION);
        SSL_CTX_set_default_verify_paths(Ctx);
        // Idle sessions give their record buffers back: a bot waits far more
        // than it reads.
        SSL_CTX_set_mode(Ctx, SSL_MODE_RELEASE_BUFFERS);
        SSL_CTX_free(FCtx);
        FCtx = Ctx;
        FKey = Key;
        return FCtx;
    }

private:
    std::mutex FLock;
    QByteArray FKey;
    SSL_CTX *FCtx = nullptr;
};

TClientContext &ClientContext()
{
    // Never destroyed: the library's own clean-up at exit comes after
    // anything destroyed here would, so the context stays for the process.
    static TClientContext *Context = [] {
        OPENSSL_init_ssl(0, nullptr);
        return new TClientContext;
    }();
    return *Context;
}

// The library's reason for the oldest error queued, or a fallback.
QByteArray QueuedReason()
{
    const unsigned long E = ERR_get_error();
    ERR_clear_error();
    if (E == 0)
        return QByteArrayLiteral("protocol error");
    if (const char *R = ERR_reason_error_string(E))
        return QByteArray(R);
    char Buf[256];
    ERR_error_string_n(E, Buf, sizeof Buf);
    return QByteArray(Buf);
}

} // namespace

std::atomic<int> TTlsSession::FLive{0};

int TTlsSession::LiveCount()
{
    return FLive.load();
}

TTlsSession::TTlsSession(const QByteArray &Host, bool Verify) : FVerify(Verify)
{
    ++FLive;
    ERR_clear_error();
    SSL_CTX *Ctx = ClientContext().Get();
    if (!Ctx) {
        FError = "TLS: no context (" + QueuedReason() + ")";
        return;
    }
    FSsl = SSL_new(Ctx);
    FIn = BIO_new(BIO_s_mem());
    FOut = BIO_new(BIO_s_mem());
    if (!FSsl || !FIn || !FOut) {
        BIO_free(FIn);
        BIO_free(FOut);
        SSL_free(FSsl);
        FSsl = nullptr;
        FIn = FOut = nullptr;
        FError = "TLS: no session (" + QueuedReason() + ")";
        return;
    }
    // An empty input buffer means "wait for more", never the end of the stream.
    BIO_set_mem_eof_return(FIn, -1);
    SSL_set_bio(FSsl, FIn, FOut);
    SSL_set_connect_state(FSsl);

    const QByteArray Name = Host.endsWith('.') ? Host.chopped(1) : Host;
    const bool IsAddress = WSocketIsDottedIP(Name);
    // Server names are host names only; an address is never sent as one.
    if (!IsAddress && !Name.isEmpty())
        SSL_set_tlsext_host_name(FSsl, Name.constData());
    if (Verify) {
        SSL_set_verify(FSsl, SSL_VERIFY_PEER, nullptr);
        X509_VERIFY_PARAM *Param = SSL_get0_param(FSsl);
        X509_VERIFY_PARAM_set_hostflags(Param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        const int Set =
            IsAddress ? X509_VERIFY_PARAM_set1_ip_asc(Param, Name.constData())
                      : X509_VERIFY_PARAM_set1_host(Param, Name.constData(), size_t(Name.size()));
        if (Set != 1 || Name.isEmpty() || Name.contains('\0')) {
            // A name that cannot be checked must never pass as checked.
            FError = QByteArrayLiteral("TLS: certificate verify failed (invalid host name)");
            SSL_free(FSsl);
            FSsl = nullptr;
            FIn = FOut = nullptr;
            ERR_clear_error();
        }
    } else {
        SSL_set_verify(FSsl, SSL_VERIFY_NONE, nullptr);
    }
}

TTlsSession::~TTlsSession()
{
    SSL_free(FSsl); // frees both buffers with it
    --FLive;
}

void TTlsSession::SetError()
{
    if (!FHandshakeDone) {
        const long Verified = SSL_get_verify_result(FSsl);
        if (FVerify && Verified != X509_V_OK) {
            ERR_clear_error();
            FError = "TLS: certificate verify failed (" +
                     QByteArray(X509_verify_cert_error_string(Verified)) + ")";
            return;
        }
        FError = "TLS: handshake failed (" + QueuedReason() + ")";
        return;
    }
    const QByteArray Reason = QueuedReason();
    FError = (Reason.contains("alert") ? "TLS: alert received (" : "TLS: connection failed (") +
             Reason + ")";
}

TTlsSession::TProgress TTlsSession::Handshake()
{
    if (FHandshakeDone)
        return TProgress::Done;
    ERR_clear_error();
    const int R = SSL_do_handshake(FSsl);
    if (R == 1) {
        FHandshakeDone = true;
        return TProgress::Done;
    }
    const int E = SSL_get_error(FSsl, R);
    if (E == SSL_ERROR_WANT_READ || E == SSL_ERROR_WANT_WRITE)
        return TProgress::WantMore;
    SetError();
    return TProgress::Failed;
}

void TTlsSession::Feed(const char *Data, qint32 Len)
{
    if (Len > 0)
        BIO_write(FIn, Data, Len); // a memory buffer takes everything
}

bool TTlsSession::HasOutput() const
{
    return BIO_ctrl_pending(FOut) > 0;
}

QByteArray TTlsSession::TakeOutput()
{
    const size_t Pending = BIO_ctrl_pending(FOut);
    if (Pending == 0)
        return {};
    QByteArray Out(qsizetype(Pending), Qt::Uninitialized);
    const int Got = BIO_read(FOut, Out.data(), int(Pending));
    Out.truncate(Got > 0 ? Got : 0);
    return Out;
}

qint32 TTlsSession::Read(char *Buffer, qint32 Len)
{
    ERR_clear_error();
    const int R = SSL_read(FSsl, Buffer, Len);
    if (R > 0)
        return R;
    const int E = SSL_get_error(FSsl, R);
    if (E == SSL_ERROR_WANT_READ || E == SSL_ERROR_WANT_WRITE)
        return ReadWantMore;
    if (E == SSL_ERROR_ZERO_RETURN)
        return ReadClosed;
    SetError();
    return ReadFailed;
}

bool TTlsSession::HasPlaintext()
{
    ERR_clear_error();
    char Byte;
    const bool Has = SSL_peek(FSsl, &Byte, 1) > 0;
    ERR_clear_error();
    return Has;
}

bool TTlsSession::Write(const char *Data, qint32 Len)
{
    if (Len <= 0)
        return true;
    ERR_clear_error();
    // A memory buffer takes every record, so a write is never partial.
    if (SSL_write(FSsl, Data, Len) == Len)
        return true;
    SetError();
    return false;
}

qint64 TTlsSession::BytesBuffered() const
{
    return qint64(BIO_ctrl_pending(FIn)) + qint64(BIO_ctrl_pending(FOut));
}

} // namespace net
