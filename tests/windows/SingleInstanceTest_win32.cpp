// The one-installer lock on the real system (wine64 under Xvfb in CI): one
// claim at a time, freed with its holder, and a later start that restores
// the first one's dialog rather than another window of the same title.
#include <gtest/gtest.h>

#include <optional>

#include "SelectLanguage/SingleInstance.h"
#include "platform/win32/WinHandles.h"

namespace {

using Claim = SingleInstance::Claim;

struct WindowDestroyer {
  void operator()(HWND window) const { ::DestroyWindow(window); }
};
using OwnedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

}  // namespace

TEST(SingleInstanceWin32, OneClaimAtATimeAndItEndsWithItsHolder) {
  std::optional<SingleInstance> first(std::in_place);
  ASSERT_EQ(first->Outcome(), Claim::First) << first->Problem();
  EXPECT_EQ(SingleInstance().Outcome(), Claim::Second);
  EXPECT_EQ(SingleInstance().Outcome(), Claim::Second);  // a turned-away start holds nothing
  first.reset();
  EXPECT_EQ(SingleInstance().Outcome(), Claim::First);
}

TEST(SingleInstanceWin32, LaterStartRestoresTheFirstOnesDialogOnly) {
  SingleInstance first;
  ASSERT_EQ(first.Outcome(), Claim::First) << first.Problem();
  EXPECT_FALSE(first.BringRunningToFront());  // only a later start asks
  EXPECT_FALSE(SingleInstance().BringRunningToFront()) << "the first one shows no window yet";
  const OwnedWindow decoy(::CreateWindowExW(0, L"STATIC", L"Select language", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                            200, 100, nullptr, nullptr, nullptr, nullptr));
  const OwnedWindow dialog(::CreateWindowExW(0, L"#32770", L"Select language", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                             200, 100, nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(decoy && dialog);
  ::ShowWindow(decoy.get(), SW_MINIMIZE);
  ::ShowWindow(dialog.get(), SW_MINIMIZE);
  ASSERT_TRUE(::IsIconic(dialog.get()));

  SingleInstance later;
  ASSERT_EQ(later.Outcome(), Claim::Second);
  EXPECT_TRUE(later.BringRunningToFront());
  EXPECT_FALSE(::IsIconic(dialog.get()));
  EXPECT_EQ(::GetForegroundWindow(), dialog.get());
  EXPECT_TRUE(::IsIconic(decoy.get()));
}
