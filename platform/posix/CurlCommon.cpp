#include "platform/posix/CurlCommon.h"

#include "net/StagingOverrides.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <strings.h>

#include <cstdio>
#include <mutex>

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

// Adds every certificate of the extra bundle to the connection's store; the
// system's own trust stays in place.
CURLcode AddExtraCertificates(CURL*, void* sslContext, void* bundlePath) {
  X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
  std::unique_ptr<FILE, FileCloser> file(std::fopen(static_cast<const char*>(bundlePath), "rb"));
  if (!file) return CURLE_SSL_CACERT_BADFILE;
  while (X509* cert = PEM_read_X509(file.get(), nullptr, nullptr, nullptr)) {
    X509_STORE_add_cert(store, cert);  // a duplicate is refused harmlessly
    X509_free(cert);
  }
  ERR_clear_error();
  return CURLE_OK;
}

// A request that began over TLS may be redirected only to TLS: a downgrade to
// plain http would let anyone on the path answer for the server.
const char* RedirectProtocolsFor(const char* url) {
  return strncasecmp(url, "https://", 8) == 0 ? "https" : "http,https";
}

}  // namespace

CurlEasy NewCurlEasy() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  return CurlEasy(curl_easy_init());
}

void ApplyTrustSettings(CURL* curl) {
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  static const char* const extra = StagingOverride(StagingVariable::kExtraCaBundle);
  if (extra != nullptr) {
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, AddExtraCertificates);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, const_cast<char*>(extra));
  }
}

void ApplyCommonOptions(CURL* curl, const char* url, const CurlTransferRules& rules) {
  curl_easy_setopt(curl, CURLOPT_URL, url);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, RedirectProtocolsFor(url));
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, rules.maxRedirects);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, rules.agent);
  if (rules.direct) {
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
  } else {
    if (rules.proxy != nullptr) {
      curl_easy_setopt(curl, CURLOPT_PROXY, rules.proxy);
      curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
    }
    curl_easy_setopt(curl, CURLOPT_PROXYAUTH, CURLAUTH_BASIC | CURLAUTH_DIGEST | CURLAUTH_NTLM);
  }
  ApplyTrustSettings(curl);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, rules.checkHostName ? 2L : 0L);
}

void AppendHeader(CurlHeaders& headers, const std::string& line) {
  curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
  if (grown != nullptr) {
    headers.release();
    headers.reset(grown);
  }
}
