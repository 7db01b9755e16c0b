#include "platform/headless/HeadlessHost.h"

#include <algorithm>

void HeadlessHost::RunModal(DialogWindow& window) {
  Open(window);
  while (!IsEnded()) Step(Clock::time_point::max());
}

void HeadlessHost::Open(DialogWindow& window) {
  window_ = &window;
  window.OnInitDialog();
}

int HeadlessHost::PumpPending() {
  int handled = 0;
  const auto now = Clock::now();
  while (!IsEnded() && Step(now)) ++handled;
  return handled;
}

bool HeadlessHost::Step(Clock::time_point deadline) {
  DialogMessage message;
  {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (ended_) return false;
      if (!queue_.empty()) {
        message = queue_.front();
        queue_.pop_front();
        break;
      }
      // The earliest due timer, if any is due now.
      auto next = timers_.end();
      for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (next == timers_.end() || it->second.due < next->second.due) next = it;
      }
      const auto now = Clock::now();
      if (next != timers_.end() && next->second.due <= now) {
        next->second.due = now + std::chrono::milliseconds(next->second.periodMs);
        message = {kWmTimer, next->first, 0, {}};
        break;
      }
      auto wakeAt = deadline;
      if (next != timers_.end()) wakeAt = std::min(wakeAt, next->second.due);
      if (now >= deadline) return false;
      if (wakeAt == Clock::time_point::max()) {
        wake_.wait(lock);
      } else {
        wake_.wait_until(lock, wakeAt);
      }
    }
  }
  if (window_ != nullptr) window_->Dispatch(message);
  return true;
}

int64_t HeadlessHost::Send(uint32_t message, uint64_t wParam, int64_t lParam) {
  if (window_ == nullptr) return 0;
  return window_->Dispatch({message, wParam, lParam, {}});
}

void HeadlessHost::Paint(const PixelRect& area) {
  if (window_ != nullptr) window_->Dispatch({kWmPaint, 0, 0, area});
}

void HeadlessHost::PressKey(uint32_t key, int64_t flags) {
  const DialogMessage message{kWmKeyDown, key, flags, {}};
  if (window_ == nullptr || window_->PreTranslateMessage(message)) return;
  // Default dialog keys: Escape cancels and Enter confirms, both ending the window.
  if (key == kKeyEscape || key == kKeyReturn) {
    Send(kWmClose);
    return;
  }
  Send(kWmKeyDown, key, flags);
}

void HeadlessHost::Post(uint32_t message, uint64_t wParam, int64_t lParam) {
  if (onPost) onPost(message);
  {
    std::lock_guard lock(mutex_);
    if (ended_) return;
    queue_.push_back({message, wParam, lParam, {}});
  }
  wake_.notify_all();
}

bool HeadlessHost::IsLive() const { return window_ != nullptr && !IsEnded(); }

void HeadlessHost::EndDialog() {
  {
    std::lock_guard lock(mutex_);
    ended_ = true;
    queue_.clear();
    timers_.clear();
  }
  wake_.notify_all();
}

bool HeadlessHost::IsEnded() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

void HeadlessHost::StartTimer(uint32_t id, uint32_t periodMs) {
  std::lock_guard lock(mutex_);
  timers_[id] = {periodMs, Clock::now() + std::chrono::milliseconds(periodMs)};
}

void HeadlessHost::StopTimer(uint32_t id) {
  std::lock_guard lock(mutex_);
  timers_.erase(id);
}

std::map<uint32_t, uint32_t> HeadlessHost::RunningTimers() const {
  std::lock_guard lock(mutex_);
  std::map<uint32_t, uint32_t> running;
  for (const auto& [id, timer] : timers_) running[id] = timer.periodMs;
  return running;
}

void HeadlessHost::ComboSetSelection(int index) {
  comboSelection = (index >= 0 && index < static_cast<int>(comboItems.size())) ? index : -1;
}

void HeadlessHost::CopyToWindow(const uint16_t* pixels, int pitch, int width, int height, const PixelRect& area) {
  ++copyCount;
  if (screenWidth != width || screenHeight != height) {
    screenWidth = width;
    screenHeight = height;
    screen.assign(static_cast<std::size_t>(width) * height, 0);
  }
  const int right = std::min(area.right, width);
  const int bottom = std::min(area.bottom, height);
  for (int y = std::max(area.top, 0); y < bottom; ++y) {
    for (int x = std::max(area.left, 0); x < right; ++x) {
      screen[static_cast<std::size_t>(y) * width + x] = pixels[static_cast<std::size_t>(y) * pitch + x];
    }
  }
}

void HeadlessHost::ShowMessageBox(const std::u16string& text, const std::u16string& caption) {
  // Dismissed at once, as a user pressing OK would.
  messageBoxes.push_back(text);
  messageBoxCaptions.push_back(caption);
}

bool HeadlessHost::AddAboutItem(const std::u16string& text) {
  aboutItem = text;
  return true;
}
