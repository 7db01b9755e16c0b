// ECDSA P-256 verification on OpenSSL's EVP interface.
#include "net/SignatureVerify.h"

#include <openssl/bn.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <vector>

namespace {

// A P-256 public key as DER SubjectPublicKeyInfo is this fixed header
// followed by the 65-byte point.
constexpr uint8_t kP256KeyInfoHeader[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01,
                                          0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct PkeyCtxFree {
  void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
struct SigFree {
  void operator()(ECDSA_SIG* sig) const { ECDSA_SIG_free(sig); }
};
struct BnFree {
  void operator()(BIGNUM* bn) const { BN_free(bn); }
};
struct OpenSslFree {
  void operator()(unsigned char* bytes) const { OPENSSL_free(bytes); }
};

std::unique_ptr<EVP_PKEY, PkeyFree> ImportKey(const P256PublicKey& key) {
  std::vector<uint8_t> info(std::begin(kP256KeyInfoHeader), std::end(kP256KeyInfoHeader));
  info.insert(info.end(), key.begin(), key.end());
  const unsigned char* cursor = info.data();
  // Decoding checks that the point lies on the curve.
  std::unique_ptr<EVP_PKEY, PkeyFree> pkey(d2i_PUBKEY(nullptr, &cursor, static_cast<long>(info.size())));
  if (pkey && cursor != info.data() + info.size()) pkey.reset();
  return pkey;
}

// OpenSSL verifies the DER form: r and s are put back into it.
std::vector<uint8_t> ToDer(const P256Signature& signature) {
  std::unique_ptr<BIGNUM, BnFree> r(BN_bin2bn(signature.data(), 32, nullptr));
  std::unique_ptr<BIGNUM, BnFree> s(BN_bin2bn(signature.data() + 32, 32, nullptr));
  std::unique_ptr<ECDSA_SIG, SigFree> sig(ECDSA_SIG_new());
  if (!r || !s || !sig || ECDSA_SIG_set0(sig.get(), r.get(), s.get()) != 1) return {};
  r.release();  // owned by sig from here on
  s.release();
  unsigned char* der = nullptr;
  const int length = i2d_ECDSA_SIG(sig.get(), &der);
  if (length <= 0) return {};
  std::unique_ptr<unsigned char, OpenSslFree> owned(der);
  return std::vector<uint8_t>(der, der + length);
}

}  // namespace

bool VerifyP256(const Sha256Digest& digest, const P256Signature& signature, const P256PublicKey& key) {
  const auto pkey = ImportKey(key);
  if (!pkey) return false;
  const std::vector<uint8_t> der = ToDer(signature);
  if (der.empty()) return false;
  const std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> ctx(EVP_PKEY_CTX_new(pkey.get(), nullptr));
  if (!ctx || EVP_PKEY_verify_init(ctx.get()) != 1) return false;
  return EVP_PKEY_verify(ctx.get(), der.data(), der.size(), digest.data(), digest.size()) == 1;
}
