// SHA-256 on OpenSSL's EVP interface, which takes the CPU's SHA
// instructions where there are any.
#include <openssl/evp.h>

#include "net/Sha256.h"

namespace {

struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

}  // namespace

struct Sha256Hasher::Platform {
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx{EVP_MD_CTX_new()};
  bool ok = false;

  void Start() { ok = ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) == 1; }
};

Sha256Hasher::Sha256Hasher() : platform_(std::make_unique<Platform>()) { platform_->Start(); }

Sha256Hasher::~Sha256Hasher() = default;

bool Sha256Hasher::Update(std::string_view bytes) {
  Platform& p = *platform_;
  if (p.ok && !bytes.empty()) p.ok = EVP_DigestUpdate(p.ctx.get(), bytes.data(), bytes.size()) == 1;
  return p.ok;
}

std::optional<Sha256Digest> Sha256Hasher::Final() {
  Platform& p = *platform_;
  Sha256Digest digest{};
  unsigned int length = 0;
  const bool done = p.ok && EVP_DigestFinal_ex(p.ctx.get(), digest.data(), &length) == 1 && length == digest.size();
  p.Start();
  if (!done) return std::nullopt;
  return digest;
}

void Sha256Hasher::Reset() { platform_->Start(); }
