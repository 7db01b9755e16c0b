#include "SelectLanguage/SettingsWorker.h"

#include "SelectLanguage/Messages.h"

SettingsWorker::SettingsWorker(DialogHost& window, std::chrono::milliseconds retryPause)
    : tries_(std::make_shared<Tries>(window, retryPause)) {}

bool SettingsWorker::Start() { return worker_.Start(tries_, &SettingsWorker::Run); }

std::unique_ptr<GameSettings> SettingsWorker::TakeSettings() {
  auto lock = tries_->Lock();
  if (!tries_->loaded) return nullptr;
  return std::move(tries_->record);
}

void SettingsWorker::Run(Tries& tries) {
  GameSettings* record = nullptr;
  {
    auto lock = tries.Lock();
    record = tries.record.get();  // only this thread touches it until it is loaded
  }
  for (int attempt = 1; attempt <= kSettingsTries; ++attempt) {
    const SettingsOutcome outcome = LoadGameSettings(*record);
    // A try that ends after the window has gone is abandoned: no record is
    // handed over, nothing is posted and no further try starts.
    if (tries.StopRequested()) return;
    if (outcome == SettingsOutcome::kLoaded) {
      {
        auto lock = tries.Lock();
        tries.loaded = true;
      }
      tries.Post(kMsgSettingsTry, static_cast<uint64_t>(outcome), attempt);
      return;
    }
    // The pause comes before the failure is reported, as the window's log
    // has always shown it; a close ends it at once. Only the status line
    // hears of the failure at once.
    tries.Post(kMsgSettingsTryFailed, static_cast<uint64_t>(attempt), 0);
    if (!tries.Pause(tries.retryPause)) return;
    tries.Post(kMsgSettingsTry, static_cast<uint64_t>(outcome), attempt);
  }
}
