#include "widgets/SpriteButton.h"

#include <cstdint>

#include "sprite/SpriteDraw.h"
#include "sprite/SpritePage.h"
#include "sprite/SpriteSet.h"

void SpriteButton::Create(ButtonOwner* owner, SpritePage* page, int x, int y, const xSprite* sprites, int baseSprite,
                          uint32_t commandId, int frameCount) {
  owner_ = owner;
  page_ = page;
  x_ = x, y_ = y;
  sprites_ = sprites;
  baseSprite_ = baseSprite;
  commandId_ = commandId;
  frameCount_ = frameCount;
  created_ = 1, enabled_ = 1, pressed_ = 0, hover_ = 0, keyPressed_ = 0;
  // The size is taken once; an empty set leaves a one-pixel active area.
  if (sprites && sprites->IsLoaded()) {
    width_ = sprites->GetWidth(baseSprite);
    height_ = sprites->GetHeight(baseSprite);
  }
}

void SpriteButton::Enable(int flag) {
  if (!flag) pressed_ = 0, hover_ = 0, keyPressed_ = 0;
  enabled_ = flag;
}

// Both edges count: the active area is (width + 1) x (height + 1).
bool SpriteButton::Contains(int px, int py) const {
  const int64_t x = px, y = py;
  return x_ <= x && x <= int64_t{x_} + width_ && y_ <= y && y <= int64_t{y_} + height_;
}

int SpriteButton::OnMouseMove(int px, int py) {
  if (!created_ || !enabled_) return 0;
  if (Contains(px, py)) {
    hover_ = 1;
    return 1;
  }
  // Leaving the button cancels a press; coming back does not restore it.
  hover_ = 0, pressed_ = 0;
  return 0;
}

int SpriteButton::OnLButtonDown(int px, int py) {
  if (!created_ || !enabled_) return 0;
  if (!Contains(px, py)) {
    pressed_ = 0;
    return 0;
  }
  pressed_ = 1;
  if (owner_ && owner_->IsLiveWindow()) owner_->PostCommand(kButtonPressNotification);
  return 1;
}

int SpriteButton::OnLButtonUp(int px, int py) {
  if (!created_ || !enabled_ || !pressed_) return 0;
  pressed_ = 0;
  if (!Contains(px, py)) return 0;
  // Synchronous: the owner's handler (which may close the window) has run
  // before this returns.
  if (owner_ && owner_->IsLiveWindow()) owner_->SendCommand(commandId_);
  hover_ = 0;
  return 1;
}

void SpriteButton::SetFocused(bool focused) {
  focused_ = focused ? 1 : 0;
  if (!focused) keyPressed_ = 0;
}

int SpriteButton::OnSpaceDown() {
  if (!created_ || !enabled_ || !focused_) return 0;
  if (keyPressed_) return 1;  // the key's repeat: one press only
  keyPressed_ = 1;
  if (owner_ && owner_->IsLiveWindow()) owner_->PostCommand(kButtonPressNotification);
  return 1;
}

int SpriteButton::OnSpaceUp() {
  if (!created_ || !enabled_ || !keyPressed_) return 0;
  keyPressed_ = 0;
  if (owner_ && owner_->IsLiveWindow()) owner_->SendCommand(commandId_);
  return 1;
}

int SpriteButton::Activate() {
  if (!created_ || !enabled_ || !owner_ || !owner_->IsLiveWindow()) return 0;
  owner_->SendCommand(commandId_);
  return 1;
}

int SpriteButton::CurrentFrame() const {
  if (!enabled_) return frameCount_ >= 4 ? baseSprite_ + 3 : baseSprite_;
  if (pressed_ || keyPressed_) return baseSprite_ + 2;
  if (hover_) return baseSprite_ + 1;
  return baseSprite_;
}

void SpriteButton::Draw(uint32_t opt, int grade) {
  if (!page_ || !sprites_ || !created_) return;
  // A frame the set does not hold draws nothing; that is fine here.
  PutSprAuto(*page_, x_, y_, sprites_, CurrentFrame(), opt, grade, 0);
}

void SpriteButton::DrawFocusRing(uint32_t outer, uint32_t inner, int scale) {
  if (!page_ || !created_ || !focused_ || !enabled_ || scale < 1 || width_ < 8 * scale || height_ < 8 * scale) return;
  // Inside the frame's rounded border, around the label, as a focused push
  // button shows it; the frame's own pixels outside it stay as drawn. Each
  // line is as thick as one pixel of the 1x artwork.
  for (int i = 0; i < scale; ++i) {
    const int o = 2 * scale + i;
    page_->DrawRect(x_ + o, y_ + o, x_ + width_ - 1 - o, y_ + height_ - 1 - o, outer);
    const int n = 3 * scale + i;
    page_->DrawRect(x_ + n, y_ + n, x_ + width_ - 1 - n, y_ + height_ - 1 - n, inner);
  }
}
