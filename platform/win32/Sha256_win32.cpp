// SHA-256 on CNG (bcrypt.dll, delay-loaded like the rest of CNG). One
// reusable hash object: BCryptFinishHash leaves it ready for the next text.
#include "net/Sha256.h"

#include "platform/win32/WinHandles.h"

#include <bcrypt.h>

#include <type_traits>

namespace {

struct AlgorithmCloser {
  void operator()(BCRYPT_ALG_HANDLE algorithm) const { ::BCryptCloseAlgorithmProvider(algorithm, 0); }
};
using Algorithm = std::unique_ptr<std::remove_pointer_t<BCRYPT_ALG_HANDLE>, AlgorithmCloser>;

struct HashDestroyer {
  void operator()(BCRYPT_HASH_HANDLE hash) const { ::BCryptDestroyHash(hash); }
};
using Hash = std::unique_ptr<std::remove_pointer_t<BCRYPT_HASH_HANDLE>, HashDestroyer>;

// ULONG bounds one call; larger pieces go in turns.
constexpr std::size_t kMostPerCall = 0x40000000;

}  // namespace

struct Sha256Hasher::Platform {
  Algorithm algorithm;
  Hash hash;
  bool ok = false;

  void Start() {
    hash.reset();
    ok = false;
    if (!algorithm) {
      BCRYPT_ALG_HANDLE raw = nullptr;
      if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&raw, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return;
      algorithm.reset(raw);
    }
    BCRYPT_HASH_HANDLE raw = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithm.get(), &raw, nullptr, 0, nullptr, 0, 0))) return;
    hash.reset(raw);
    ok = true;
  }
};

Sha256Hasher::Sha256Hasher() : platform_(std::make_unique<Platform>()) { platform_->Start(); }

Sha256Hasher::~Sha256Hasher() = default;

bool Sha256Hasher::Update(std::string_view bytes) {
  Platform& p = *platform_;
  while (p.ok && !bytes.empty()) {
    const std::size_t piece = bytes.size() < kMostPerCall ? bytes.size() : kMostPerCall;
    p.ok = BCRYPT_SUCCESS(::BCryptHashData(p.hash.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                                           static_cast<ULONG>(piece), 0));
    bytes.remove_prefix(piece);
  }
  return p.ok;
}

std::optional<Sha256Digest> Sha256Hasher::Final() {
  Platform& p = *platform_;
  Sha256Digest digest{};
  const bool done = p.ok && BCRYPT_SUCCESS(::BCryptFinishHash(p.hash.get(), digest.data(), digest.size(), 0));
  p.Start();
  if (!done) return std::nullopt;
  return digest;
}

void Sha256Hasher::Reset() { platform_->Start(); }
