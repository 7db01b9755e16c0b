// A window for the download tests that records every message posted to it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "SelectLanguage/DialogHost.h"

class RecordingWindow : public DialogWindow {
 public:
  int OnInitDialog() override { return 1; }
  bool PreTranslateMessage(const DialogMessage&) override { return false; }
  int64_t Dispatch(const DialogMessage& m) override {
    messages.push_back(m);
    return 0;
  }
  ControlColors OnCtlColor(int) override { return {}; }
  int Count(uint32_t id) const {
    return static_cast<int>(std::count_if(messages.begin(), messages.end(), [id](auto& m) { return m.id == id; }));
  }
  std::vector<DialogMessage> messages;
};
