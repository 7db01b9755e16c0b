// The Win32 host: the modal dialog from template 102 with its combo box and
// progress bar, painted from a DIB section that holds the drawing page.
#pragma once

#include <atomic>
#include <memory>

#include "SelectLanguage/DialogHost.h"

struct Win32HostState;

class Win32DialogHost : public DialogHost {
 public:
  Win32DialogHost();
  ~Win32DialogHost() override;
  Win32DialogHost(const Win32DialogHost&) = delete;
  Win32DialogHost& operator=(const Win32DialogHost&) = delete;

  void RunModal(DialogWindow& window) override;
  void Post(uint32_t message, uint64_t wParam, int64_t lParam) override;
  bool IsLive() const override;
  void EndDialog() override;
  void StartTimer(uint32_t id, uint32_t periodMs) override;
  void StopTimer(uint32_t id) override;
  void ComboAddString(const std::u16string& text) override;
  void ComboSetSelection(int index) override;
  int ComboGetSelection() const override;
  void ComboEnable(bool enabled) override;
  void ProgressSetRange(uint64_t total) override;
  void ProgressSetPosition(uint64_t done) override;
  void ProgressShow(bool visible) override;
  void MoveControl(int controlId, int x, int y, int width) override;
  void SetClientSize(int width, int height) override;
  void CentreWindow() override;
  void Invalidate() override;
  void CopyToWindow(const uint16_t* pixels, int pitch, int width, int height, const PixelRect& area) override;
  void ShowMessageBox(const std::u16string& text, const std::u16string& caption) override;
  void BeginWindowDrag(int clientX, int clientY) override;
  bool AddAboutItem(const std::u16string& text) override;
  void RunAboutBox() override;
  void SetIcons(std::span<const uint8_t> image) override;
  bool IsIconic() const override;

 private:
  std::unique_ptr<Win32HostState> state_;
};
