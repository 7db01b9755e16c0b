// What every libcurl transfer of the program shares: a process-wide global
// init, an owning handle type, the options that the configuration fetch, the
// HTTP request client and the setup download have in common, and the trust
// settings (the system's CA store plus, in staging builds, an optional extra
// bundle named by the environment).
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>

struct CurlEasyDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

struct CurlSlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlHeaders = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// What each kind of transfer chooses for itself.
struct CurlTransferRules {
  const char* agent = "";       // User-Agent
  bool direct = false;          // no proxy at all, not even the environment's
  const char* proxy = nullptr;  // not direct: this proxy for every host, not the environment's choice
  bool checkHostName = true;    // false: the chain is still verified, the name not
  long maxRedirects = 8;
};

// The shared options: the URL; http and https only, after a redirect too;
// redirects followed up to the rules' limit; no signals (transfers run on
// worker threads); the body as sent, never decoded; the trust settings; and
// the rules' agent, proxy and host-name check. A proxy that asks for
// credentials gets those of its URL, by Basic, Digest or NTLM, whichever it
// offers.
void ApplyCommonOptions(CURL* curl, const char* url, const CurlTransferRules& rules);

// A new easy handle (nullptr when libcurl cannot make one), after the
// process-wide global init has run once.
CurlEasy NewCurlEasy();

// Verifies peers against the system's CA store and, in a staging build whose
// environment names a PEM file in ZK_EXTRA_CA_BUNDLE, against its
// certificates too.
void ApplyTrustSettings(CURL* curl);

// Adds a header line to a list, keeping the list owned.
void AppendHeader(CurlHeaders& headers, const std::string& line);
