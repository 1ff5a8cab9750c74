// TDigestAhead (ZipDigest.h) over OpenSSL's SHA-256, which uses the
// processor's SHA instructions where it has them.
#include "archive/ZipDigest.h"

#include "platform/rtl/Exceptions.h"

#include <openssl/evp.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace zorbel {

// The caller fills one chunk while the worker hashes the other. Only one
// thread at a time uses the hashing context: the worker while a chunk is
// pending, the caller otherwise (both under mutex).
struct TDigestAhead::TState {
    EVP_MD_CTX *Ctx = nullptr;
    std::vector<uint8_t> Filling;  // the caller's
    std::vector<uint8_t> Pending;  // handed to the worker
    bool HasPending = false;       // under Mutex
    bool Stop = false;             // under Mutex
    bool NoThread = false;         // no worker could be started: hash here
    bool Failed = false;           // the worker's update failed (under Mutex)
    std::mutex Mutex;
    std::condition_variable ToWorker, FromWorker;
    std::thread Worker;

    TState()
    {
        Ctx = EVP_MD_CTX_new();
        if (!Ctx || EVP_DigestInit_ex(Ctx, EVP_sha256(), nullptr) != 1) {
            EVP_MD_CTX_free(Ctx);
            throw Exception(QStringLiteral("SHA-256 is not available"));
        }
    }
    ~TState()
    {
        if (Worker.joinable()) {
            {
                std::lock_guard lock(Mutex);
                Stop = true;
            }
            ToWorker.notify_one();
            Worker.join();
        }
        EVP_MD_CTX_free(Ctx);
    }

    void Update(const uint8_t *Data, size_t Count)
    {
        if (Count > 0 && EVP_DigestUpdate(Ctx, Data, Count) != 1)
            throw Exception(QStringLiteral("SHA-256 failed"));
    }

    void Work()
    {
        std::unique_lock lock(Mutex);
        for (;;) {
            ToWorker.wait(lock, [&] { return Stop || HasPending; });
            if (Stop)
                return;
            // The caller touches neither Pending nor Ctx while HasPending.
            lock.unlock();
            const bool ok = EVP_DigestUpdate(Ctx, Pending.data(), Pending.size()) == 1;
            lock.lock();
            Failed = Failed || !ok;
            HasPending = false;
            FromWorker.notify_one();
        }
    }

    void WaitIdle()
    {
        std::unique_lock lock(Mutex);
        FromWorker.wait(lock, [&] { return !HasPending; });
    }

    // Hands the full chunk on, or hashes it here.
    void HandOn()
    {
        if (!Worker.joinable() && !NoThread) {
            try {
                Worker = std::thread([this] { Work(); });
            } catch (const std::system_error &) {
                NoThread = true;
            }
        }
        if (NoThread) {
            Update(Filling.data(), Filling.size());
            Filling.clear();
            return;
        }
        {
            std::unique_lock lock(Mutex);
            FromWorker.wait(lock, [&] { return !HasPending; });
            Pending.swap(Filling);
            HasPending = true;
        }
        ToWorker.notify_one();
        Filling.clear();
    }
};

TDigestAhead::TDigestAhead() : state_(std::make_unique<TState>()) {}

TDigestAhead::~TDigestAhead() = default;

void TDigestAhead::Add(const uint8_t *Data, size_t Count)
{
    TState &s = *state_;
    while (Count > 0) {
        if (s.Filling.capacity() < ChunkSize)
            s.Filling.reserve(ChunkSize);
        const size_t k = std::min(Count, ChunkSize - s.Filling.size());
        s.Filling.insert(s.Filling.end(), Data, Data + k);
        Data += k;
        Count -= k;
        if (s.Filling.size() == ChunkSize)
            s.HandOn();
    }
}

TSha256 TDigestAhead::Finish()
{
    TState &s = *state_;
    s.WaitIdle();
    if (s.Failed)
        throw Exception(QStringLiteral("SHA-256 failed"));
    s.Update(s.Filling.data(), s.Filling.size());
    s.Filling.clear();
    TSha256 digest{};
    unsigned length = 0;
    if (EVP_DigestFinal_ex(s.Ctx, digest.data(), &length) != 1 || length != digest.size())
        throw Exception(QStringLiteral("SHA-256 failed"));
    return digest;
}

TSha256 TDigestAhead::Of(const uint8_t *Data, size_t Count)
{
    TSha256 digest{};
    unsigned length = 0;
    if (EVP_Digest(Data, Count, digest.data(), &length, EVP_sha256(), nullptr) != 1 || length != digest.size())
        throw Exception(QStringLiteral("SHA-256 failed"));
    return digest;
}

} // namespace zorbel
