// The bytes of a proxy's host or port. Up to 22 bytes live inside the object
// itself, longer texts on the heap, and the bytes are always followed by a
// NUL. Proxy hosts (dotted addresses, short names) and ports nearly always
// fit inside, so a proxy list of hundreds of thousands of records is one
// block of memory: appending, copying, sorting and freeing it never touches
// the heap record by record, and reading a record never leaves it.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <cstring>
#include <string>
#include <string_view>

namespace leecher {

class TCompactBytes
{
public:
    static constexpr qsizetype InlineCapacity = 22;

    TCompactBytes() noexcept
    {
        FRaw[kTagByte] = 0;
        FRaw[0] = 0;
    }
    // Implicit, so that records can be written as {host, port} from any text.
    TCompactBytes(QByteArrayView bytes) { Assign(bytes.data(), bytes.size()); }
    TCompactBytes(const QByteArray &bytes) { Assign(bytes.constData(), bytes.size()); }
    TCompactBytes(const char *text) { Assign(text, text ? qsizetype(std::strlen(text)) : 0); }

    TCompactBytes(const TCompactBytes &other) { Assign(other.data(), other.size()); }
    TCompactBytes(TCompactBytes &&other) noexcept
    {
        std::memcpy(FRaw, other.FRaw, sizeof FRaw);
        other.FRaw[kTagByte] = 0; // the heap block, if any, now belongs here
        other.FRaw[0] = 0;
    }
    TCompactBytes &operator=(const TCompactBytes &other)
    {
        if (this != &other) {
            TCompactBytes copy(other);
            swap(copy);
        }
        return *this;
    }
    TCompactBytes &operator=(TCompactBytes &&other) noexcept
    {
        if (this != &other) {
            Release();
            std::memcpy(FRaw, other.FRaw, sizeof FRaw);
            other.FRaw[kTagByte] = 0;
            other.FRaw[0] = 0;
        }
        return *this;
    }
    ~TCompactBytes() { Release(); }

    void swap(TCompactBytes &other) noexcept
    {
        unsigned char held[sizeof FRaw];
        std::memcpy(held, FRaw, sizeof FRaw);
        std::memcpy(FRaw, other.FRaw, sizeof FRaw);
        std::memcpy(other.FRaw, held, sizeof FRaw);
    }

    qsizetype size() const noexcept
    {
        if (!IsHeap())
            return FRaw[kTagByte];
        qsizetype n;
        std::memcpy(&n, FRaw + sizeof(char *), sizeof n);
        return n;
    }
    bool isEmpty() const noexcept { return size() == 0; }
    // NUL-terminated.
    const char *data() const noexcept
    {
        if (!IsHeap())
            return reinterpret_cast<const char *>(FRaw);
        const char *p;
        std::memcpy(&p, FRaw, sizeof p);
        return p;
    }
    const char *constData() const noexcept { return data(); }
    const char *begin() const noexcept { return data(); }
    const char *end() const noexcept { return data() + size(); }
    char front() const noexcept { return *data(); }

    QByteArrayView view() const noexcept { return QByteArrayView(data(), size()); }
    std::string_view stdView() const noexcept { return std::string_view(data(), size_t(size())); }
    QByteArray toByteArray() const { return QByteArray(data(), size()); }
    std::string toStdString() const { return std::string(stdView()); }
    bool contains(char c) const noexcept { return view().contains(c); }

    friend bool operator==(const TCompactBytes &a, const TCompactBytes &b) noexcept
    {
        const qsizetype n = a.size();
        return n == b.size() && std::memcmp(a.data(), b.data(), size_t(n)) == 0;
    }
    friend bool operator!=(const TCompactBytes &a, const TCompactBytes &b) noexcept
    {
        return !(a == b);
    }
    // Byte by byte, as unsigned values; a prefix sorts first.
    friend bool operator<(const TCompactBytes &a, const TCompactBytes &b) noexcept
    {
        return a.stdView() < b.stdView();
    }

private:
    static constexpr int kTagByte = 23; // inline length, or kHeap
    static constexpr unsigned char kHeap = 0xff;

    bool IsHeap() const noexcept { return FRaw[kTagByte] == kHeap; }

    void Assign(const char *bytes, qsizetype n)
    {
        if (n < 0)
            n = 0;
        if (n <= InlineCapacity) {
            if (n > 0)
                std::memcpy(FRaw, bytes, size_t(n));
            FRaw[n] = 0;
            FRaw[kTagByte] = static_cast<unsigned char>(n);
            return;
        }
        char *p = new char[size_t(n) + 1];
        std::memcpy(p, bytes, size_t(n));
        p[n] = 0;
        std::memcpy(FRaw, &p, sizeof p);
        std::memcpy(FRaw + sizeof p, &n, sizeof n);
        FRaw[kTagByte] = kHeap;
    }
    void Release() noexcept
    {
        if (IsHeap())
            delete[] data();
    }

    alignas(8) unsigned char FRaw[24];
};

} // namespace leecher
