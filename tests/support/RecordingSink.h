// What one HTTP attempt hands over, kept for a test to read, and the attempt
// itself with the request fields the tests vary.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "net/HttpAttempt.h"
#include "net/Text.h"

// Keeps what the attempt hands over; may refuse the head or the body.
class RecordingSink : public HttpAnswerSink {
 public:
  bool OnHead(const HttpAnswerHead& h) override {
    ++heads;
    head = h;
    return acceptHead;
  }
  bool OnBody(const char* data, std::size_t size) override {
    EXPECT_EQ(heads, 1) << "the head comes first";
    body.append(data, size);
    return acceptBody;
  }
  int heads = 0;
  HttpAnswerHead head;
  std::string body;
  bool acceptHead = true;
  bool acceptBody = true;
};

inline HttpAttemptEnd AttemptInto(const std::string& url, RecordingSink& sink, const std::atomic<bool>& cancel,
                                  uint64_t rangeStart = 0, const std::string& ifRange = {},
                                  std::chrono::milliseconds silence = std::chrono::seconds(30)) {
  const std::u16string wide = Utf8ToUtf16(url);
  HttpAttemptRequest request;
  request.url = wide;
  request.rangeStart = rangeStart;
  request.ifRange = ifRange;
  request.silenceLimit = silence;
  request.cancel = &cancel;
  return PerformHttpAttempt(request, sink);
}

// Attempts over a test's sandbox (`SandboxFixture`: the Linux one or the
// Windows one), cancelled through `cancel`.
template <class SandboxFixture>
class HttpAttemptFixture : public SandboxFixture {
 protected:
  HttpAttemptEnd Attempt(const std::string& url, RecordingSink& sink, uint64_t rangeStart = 0,
                         const std::string& ifRange = {},
                         std::chrono::milliseconds silence = std::chrono::seconds(30)) {
    return AttemptInto(url, sink, cancel, rangeStart, ifRange, silence);
  }
  HttpAttemptEnd Attempt(const std::string& url) {
    RecordingSink sink;
    return Attempt(url, sink);
  }
  std::atomic<bool> cancel{false};
};
