#include "net/RegionCode.h"

#include <thread>

#include "net/HttpRequest.h"
#include "net/JsonExtract.h"
#include "net/ServiceConfig.h"

namespace {

// Room behind the answer, so in-place edits never run short.
constexpr std::size_t kWorkSpare = 8192 / sizeof(char16_t);

std::u16string WorkText(const std::u16string& answer) {
  std::u16string work(answer.size() + kWorkSpare, u'\0');
  answer.copy(work.data(), answer.size());
  NormalizeJsonNulls(work.data());
  return work;
}

}  // namespace

int RegionCode::Determine(const PauseFunction& pause) {
  const auto wait = [&] {
    if (pause) return pause(timings_.pause);
    std::this_thread::sleep_for(timings_.pause);
    return true;
  };
  if (LookupRegionCheck()) return kRegionMain;
  if (!wait()) return 0;
  if (LookupClientIp()) return kRegionOrigin;
  if (!wait()) return 0;
  code_ = u"EN";
  return kRegionForced;
}

bool RegionCode::LookupRegionCheck() {
  std::u16string answer;
  if (!SendHttpRequestTimed(RegionCheckUrl(), u"Val=qzm847tvwp", answer, timings_.requestLimit)) return false;
  std::u16string work = WorkText(answer);
  char16_t* cursor = work.data();
  const char16_t* code = ExtractBetween(u"{\"CountryId\":\"", u"\",\"CityId", cursor);
  if (code == nullptr) return false;
  code_ = code;
  return true;
}

bool RegionCode::LookupClientIp() {
  std::u16string answer;
  if (!SendHttpRequestTimed(ClientIpUrl(), u"", answer, timings_.requestLimit)) return false;
  std::u16string work = WorkText(answer);
  char16_t* cursor = work.data();
  if (ExtractBetween(u"{\"client_ip\":\"", u"\"", cursor) == nullptr) return false;
  const char16_t* code = ExtractBetween(u",\"country\":\"", u"\"}", cursor);
  if (code == nullptr) return false;
  code_ = code;
  return true;
}

std::u16string_view RegionSourceLabel(int source) {
  switch (source) {
    case kRegionMain: return u"MAIN";
    case kRegionOrigin: return u"ORIGIN";
    default: return u"FORCED";
  }
}
