// SHA-256 and ECDSA P-256 verification on CNG. BCryptVerifySignature takes
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

struct HashDestroyer {
  void operator()(BCRYPT_HASH_HANDLE hash) const { ::BCryptDestroyHash(hash); }
};
using Hash = std::unique_ptr<std::remove_pointer_t<BCRYPT_HASH_HANDLE>, HashDestroyer>;

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

std::optional<Sha256Digest> Sha256(std::string_view bytes) {
  Sha256Digest digest{};
  const Algorithm algorithm = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM);
  // One call hashes the whole text; ULONG bounds it, far above any configuration.
  if (!algorithm || bytes.size() > 0xFFFFFFFFu) return std::nullopt;
  BCRYPT_HASH_HANDLE raw = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithm.get(), &raw, nullptr, 0, nullptr, 0, 0))) return std::nullopt;
  const Hash hash(raw);
  if (!BCRYPT_SUCCESS(::BCryptHashData(hash.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                                       static_cast<ULONG>(bytes.size()), 0)) ||
      !BCRYPT_SUCCESS(::BCryptFinishHash(hash.get(), digest.data(), digest.size(), 0))) {
    return std::nullopt;
  }
  return digest;
}

bool VerifyP256(const Sha256Digest& digest, const P256Signature& signature, const P256PublicKey& point) {
  const Algorithm algorithm = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!algorithm) return false;
  const Key key = ImportKey(algorithm.get(), point);
  if (!key) return false;
  return BCRYPT_SUCCESS(::BCryptVerifySignature(key.get(), nullptr, const_cast<PUCHAR>(digest.data()),
                                                digest.size(), const_cast<PUCHAR>(signature.data()),
                                                signature.size(), 0));
}
