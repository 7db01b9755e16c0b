// A host without a display: runs the window's messages and timers on the
// calling thread and records everything the window asks of its host, so
// tests can drive the whole program and look at what it did.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "SelectLanguage/DialogHost.h"

class HeadlessHost : public DialogHost {
 public:
  using Clock = std::chrono::steady_clock;

  // Runs OnInitDialog, then messages and timers until EndDialog.
  void RunModal(DialogWindow& window) override;

  // Test driving: OnInitDialog only; then pump or send by hand.
  void Open(DialogWindow& window);
  // Handles posted messages and due timers until `done` holds, the window
  // closed, or `timeout` passed; returns whether `done` held.
  template <typename Predicate>
  bool RunUntil(Predicate done, std::chrono::milliseconds timeout);
  bool RunUntilClosed(std::chrono::milliseconds timeout) {
    return RunUntil([] { return false; }, timeout) || IsEnded();
  }
  // Handles what is queued now, and timers now due; returns how many.
  int PumpPending();
  // Delivers a message at once, as a sent (not posted) message would be.
  int64_t Send(uint32_t message, uint64_t wParam = 0, int64_t lParam = 0);
  // Key press as the platform would deliver it: first the pre-translation,
  // then the window's own keys (flags: kKeyShifted); and the key's release.
  void PressKey(uint32_t key, int64_t flags = 0);
  void ReleaseKey(uint32_t key) { Send(kWmKeyUp, key, 0); }
  void FireTimer(uint32_t id) { Send(kWmTimer, id, 0); }
  // A paint of `area`, as the platform asks for one.
  void Paint(const PixelRect& area);

  // DialogHost
  void Post(uint32_t message, uint64_t wParam, int64_t lParam) override;
  bool IsLive() const override;
  void EndDialog() override;
  void StartTimer(uint32_t id, uint32_t periodMs) override;
  void StopTimer(uint32_t id) override;
  void ComboAddString(const std::u16string& text) override { comboItems.push_back(text); }
  void ComboSetSelection(int index) override;
  int ComboGetSelection() const override { return comboSelection; }
  void ComboEnable(bool enabled) override { comboEnabled = enabled; }
  void ProgressSetRange(uint64_t total) override { progressRanges.push_back(total); }
  void ProgressSetPosition(uint64_t done) override { progressPositions.push_back(done); }
  void ProgressShow(bool visible) override { progressVisible = visible; }
  void SetStatusText(const std::u16string& text) override { statusTexts.push_back(text); }
  void MoveControl(int controlId, int x, int y, int width) override {
    controlPositions[controlId] = {x, y};
    controlWidths[controlId] = width;
  }
  int DisplayScale() const override { return displayScale; }
  void SetPageScale(int artworkScale) override { pageScale = artworkScale; }
  void SetClientSize(int width, int height) override { clientWidth = width, clientHeight = height; }
  void CentreWindow() override { ++centreCount; }
  void Invalidate() override { ++invalidateCount; }
  void CopyToWindow(const uint16_t* pixels, int pitch, int width, int height, const PixelRect& area) override;
  void ShowMessageBox(const std::u16string& text, const std::u16string& caption) override;
  void BeginWindowDrag(int clientX, int clientY) override { drags.push_back({clientX, clientY}); }
  bool AddAboutItem(const std::u16string& text) override;
  void RunAboutBox() override { ++aboutBoxCount; }
  void SetIcons(std::span<const uint8_t> image) override { iconBytes = image.size(); }
  bool IsIconic() const override { return false; }
  void FocusControl(uint64_t target) override { focusRequests.push_back(target); }
  void ButtonsChanged() override { ++buttonsChangedCount; }
  ContrastColors HighContrast() const override { return contrast; }

  bool IsEnded() const;
  // Timers currently running (id to period).
  std::map<uint32_t, uint32_t> RunningTimers() const;

  // Called with each message as it is posted, on the posting thread, before
  // it is queued: a test's way to act between a worker's step and the
  // window's answer to it. Set it before the window starts its workers.
  std::function<void(uint32_t message)> onPost;

  // The scale the host reports (a test sets it), in percent.
  int displayScale = 100;

  // What the window asked for (in page pixels: the headless window is the page).
  int pageScale = 1;
  std::vector<std::u16string> comboItems;
  int comboSelection = -1;
  bool comboEnabled = true;
  std::vector<uint64_t> progressRanges;
  std::vector<uint64_t> progressPositions;
  bool progressVisible = false;
  std::vector<std::u16string> statusTexts;  // each text the status line was given, in order
  std::map<int, std::pair<int, int>> controlPositions;
  std::map<int, int> controlWidths;
  int clientWidth = 0, clientHeight = 0;
  int centreCount = 0;
  int invalidateCount = 0;
  std::vector<std::u16string> messageBoxes;
  std::vector<std::u16string> messageBoxCaptions;
  std::vector<std::pair<int, int>> drags;
  std::u16string aboutItem;
  int aboutBoxCount = 0;
  std::size_t iconBytes = 0;
  std::vector<uint64_t> focusRequests;  // each place the window put the focus, in order
  int buttonsChangedCount = 0;
  ContrastColors contrast;  // what HighContrast answers
  // The last picture copied to the window: 555 pixels, clientWidth wide.
  std::vector<uint16_t> screen;
  int screenWidth = 0, screenHeight = 0;
  int copyCount = 0;

 private:
  struct Timer {
    uint32_t periodMs;
    Clock::time_point due;
  };
  // One step of the loop: a posted message, else a due timer, else wait until
  // `deadline` for either. False when nothing was handled.
  bool Step(Clock::time_point deadline);

  DialogWindow* window_ = nullptr;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<DialogMessage> queue_;
  std::map<uint32_t, Timer> timers_;
  bool ended_ = false;
};

template <typename Predicate>
bool HeadlessHost::RunUntil(Predicate done, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!done()) {
    if (IsEnded() || Clock::now() >= deadline) return done();
    Step(deadline);
  }
  return true;
}
