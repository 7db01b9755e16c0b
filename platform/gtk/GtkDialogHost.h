// The GTK 3 host: a real window titled "Select language" with the language
// combo box and the progress bar over a drawing area that shows the page.
#pragma once

#include <memory>
#include <string>

#include "SelectLanguage/DialogHost.h"

struct GtkHostState;

class GtkDialogHost : public DialogHost {
 public:
  GtkDialogHost();
  ~GtkDialogHost() override;
  GtkDialogHost(const GtkDialogHost&) = delete;
  GtkDialogHost& operator=(const GtkDialogHost&) = delete;

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

  // Brings the shown window to the front, restored if minimised, for a
  // later start of the program (with that start's activation token, or
  // empty). Does nothing before the window has been shown or once it has
  // closed.
  void BringToFront(const std::string& activationToken);

 private:
  std::unique_ptr<GtkHostState> state_;
};
