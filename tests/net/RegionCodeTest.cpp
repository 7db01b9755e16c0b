#include <chrono>

#include "net/RegionCode.h"
#include "tests/net/NetTestUtil.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Short pauses keep the suite fast; one test below runs the real timings.
const RegionTimings kQuick{milliseconds(20), milliseconds(2000)};

using RegionCodeTest = SandboxTest;

TEST_F(RegionCodeTest, RegionCheckAnswerGivesMain) {
  RegionCode region(kQuick);
  EXPECT_EQ(region.Determine(), kRegionMain);
  EXPECT_EQ(region.Code(), u"CN");
  EXPECT_TRUE(region.IsCN());
  Sandbox::Request r = sandbox.LastRequest("region");
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.path, "/CheckData/UserCheck_Get_CN.asp");
  EXPECT_EQ(r.body, "Val=qzm847tvwp");
  EXPECT_EQ(r.headers["content-type"], "application/x-www-form-urlencoded");
  EXPECT_FALSE(sandbox.LastRequest("clientip").received);
}

TEST_F(RegionCodeTest, RegionCheckExamples) {
  struct Case {
    const char* answer;
    bool found;
    std::u16string code;
  };
  for (const Case& c :
       {Case{R"({"CountryId":"CN","CityId":"12"})", true, u"CN"},
        Case{R"({"CountryId":"cn","CityId":"12"})", true, u"cn"}, Case{R"({"CountryId":"","CityId":"12"})", true, u""},
        Case{R"({"CountryId": "CN","CityId":"12"})", false, u"before"},
        Case{R"({"CountryId": null,"CityId":"12"})", false, u"before"}, Case{R"({"CountryId":"CN"})", false, u"before"},
        Case{R"({"Ip":"1.2.3.4","CountryId":"KR","CityId":"1"})", false, u"before"}}) {
    SCOPED_TRACE(c.answer);
    ASSERT_TRUE(sandbox.SetAnswer("region", c.answer));
    RegionCode region(kQuick);
    if (!c.found) {
      // A failed lookup leaves an earlier code alone.
      ASSERT_TRUE(sandbox.SetAnswer("region", R"({"CountryId":"before","CityId":""})"));
      ASSERT_TRUE(region.LookupRegionCheck());
      ASSERT_TRUE(sandbox.SetAnswer("region", c.answer));
    }
    EXPECT_EQ(region.LookupRegionCheck(), c.found);
    EXPECT_EQ(region.Code(), c.code);
    EXPECT_EQ(region.IsCN(), c.code == u"CN");
  }
}

TEST_F(RegionCodeTest, ClientIpAnswersWhenTheRegionCheckFails) {
  SKIP_WITHOUT_CLIENT_IP_PORT();
  ASSERT_TRUE(sandbox.SetAnswer("region", R"({"CountryId": null,"CityId":"1"})"));
  ASSERT_TRUE(sandbox.SetAnswer("clientip", R"({"client_ip":"10.0.0.9","isp":"x","country":"JP"})"));
  RegionCode region(kQuick);
  EXPECT_EQ(region.Determine(), kRegionOrigin);
  EXPECT_EQ(region.Code(), u"JP");
  EXPECT_FALSE(region.IsCN());
  Sandbox::Request r = sandbox.LastRequest("clientip");
  EXPECT_EQ(r.method, "GET");
  EXPECT_EQ(r.path, "/api/env/getClientIP.asp");
  EXPECT_EQ(r.headers["content-type"], "application/x-www-form-urlencoded");
  EXPECT_EQ(r.body, "");
}

TEST_F(RegionCodeTest, ClientIpExamples) {
  SKIP_WITHOUT_CLIENT_IP_PORT();
  struct Case {
    const char* answer;
    bool found;
    std::u16string code;
  };
  for (const Case& c :
       {Case{R"({"client_ip":"1.2.3.4","country":"CN"})", true, u"CN"},
        // A member after country: the code runs on to the final quote.
        Case{R"({"client_ip":"1.2.3.4","country":"CN","city":"X"})", true, u"CN\",\"city\":\"X"},
        Case{R"({"client_ip":"1.2.3.4"})", false, u""}, Case{R"({"country":"CN","client_ip":"1.2.3.4"})", false, u""},
        Case{R"({"client_ip": "1.2.3.4","country":"CN"})", false, u""}}) {
    SCOPED_TRACE(c.answer);
    ASSERT_TRUE(sandbox.SetAnswer("clientip", c.answer));
    RegionCode region(kQuick);
    EXPECT_EQ(region.LookupClientIp(), c.found);
    EXPECT_EQ(region.Code(), c.code);
    EXPECT_EQ(region.IsCN(), c.code == u"CN");
  }
}

TEST_F(RegionCodeTest, BothServicesRefusedGiveForcedEnglish) {
  ASSERT_TRUE(sandbox.SetFault("region", "refused"));
  ASSERT_TRUE(sandbox.SetFault("clientip", "500"));  // an error page holds no country
  RegionCode region(kQuick);
  EXPECT_EQ(region.Determine(), kRegionForced);
  EXPECT_EQ(region.Code(), u"EN");
  EXPECT_FALSE(region.IsCN());
  EXPECT_EQ(RegionSourceLabel(kRegionForced), u"FORCED");
  EXPECT_EQ(RegionSourceLabel(0), u"FORCED");
}

TEST_F(RegionCodeTest, BothServicesSilentTakeAboutTenSeconds) {
  SKIP_WITHOUT_CLIENT_IP_PORT();
  ASSERT_TRUE(sandbox.SetFault("region", "stalled"));
  ASSERT_TRUE(sandbox.SetFault("clientip", "stalled"));
  RegionCode region;  // the real pauses and limits
  const auto start = Clock::now();
  EXPECT_EQ(region.Determine(), kRegionForced);
  const auto took = Clock::now() - start;
  EXPECT_EQ(region.Code(), u"EN");
  EXPECT_GE(took, milliseconds(9900));
  EXPECT_LT(took, milliseconds(11000));
}

}  // namespace
