// ECDSA P-256 verification on CNG. BCryptVerifySignature takes
// the signature as r then s, 32 bytes each, which is the form the core gives.
#include "net/SignatureVerify.h"

#include "platform/win32/WinHandles.h"

#include <bcrypt.h>

#include <cstring>
#include <memory>
#include <type_traits>

namespace {

struct AlgorithmCloser {
  void operator()(BCRYPT_ALG_HANDLE algorithm) const { ::BCryptCloseAlgorithmProvider(algorithm, 0); }
};
using Algorithm = std::unique_ptr<std::remove_pointer_t<BCRYPT_ALG_HANDLE>, AlgorithmCloser>;

struct KeyDestroyer {
  void operator()(BCRYPT_KEY_HANDLE key) const { ::BCryptDestroyKey(key); }
};
using Key = std::unique_ptr<std::remove_pointer_t<BCRYPT_KEY_HANDLE>, KeyDestroyer>;

Algorithm OpenAlgorithm(LPCWSTR name) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, name, nullptr, 0))) return nullptr;
  return Algorithm(algorithm);
}

// The point's X and Y behind CNG's blob header.
Key ImportKey(BCRYPT_ALG_HANDLE algorithm, const P256PublicKey& point) {
  if (point[0] != 0x04) return nullptr;  // only the uncompressed form
  struct Blob {
    BCRYPT_ECCKEY_BLOB header;
    UCHAR xy[64];
  } blob{};
  blob.header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
  blob.header.cbKey = 32;
  std::memcpy(blob.xy, point.data() + 1, sizeof blob.xy);
  BCRYPT_KEY_HANDLE key = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key,
                                            reinterpret_cast<PUCHAR>(&blob), sizeof blob, 0))) {
    return nullptr;
  }
  return Key(key);
}

}  // namespace

bool VerifyP256(const Sha256Digest& digest, const P256Signature& signature, const P256PublicKey& point) {
  const Algorithm algorithm = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!algorithm) return false;
  const Key key = ImportKey(algorithm.get(), point);
  if (!key) return false;
  return BCRYPT_SUCCESS(::BCryptVerifySignature(key.get(), nullptr, const_cast<PUCHAR>(digest.data()), digest.size(),
                                                const_cast<PUCHAR>(signature.data()), signature.size(), 0));
}
