// The window at a display's scale. The artwork comes at 1x and at 2x; the
// window draws its page and runs its buttons in pixels of the artwork it
// chose, and the host maps those to the window's pixels.
#pragma once

// 100 is 96 DPI. Above 100 % the 2x artwork, scaled down smoothly below
// 200 %: the 1x artwork enlarged would be soft at every such scale.
constexpr int ArtworkScaleFor(int scalePercent) { return scalePercent > 100 ? 2 : 1; }

// A length or place in page pixels of artwork drawn at `artworkScale`, in
// window pixels at `scalePercent` (to the nearest pixel).
constexpr int PageToWindow(int pagePixels, int scalePercent, int artworkScale) {
  const long long num = static_cast<long long>(pagePixels) * scalePercent * 2;
  const long long den = 200LL * artworkScale;
  return static_cast<int>(num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den));
}

// A window pixel back in page pixels: the first page pixel it covers, so a
// hit test at the window's pixels keeps the page's inclusive bounds.
constexpr int WindowToPage(int windowPixels, int scalePercent, int artworkScale) {
  const long long num = static_cast<long long>(windowPixels) * 100 * artworkScale;
  const long long den = scalePercent > 0 ? scalePercent : 100;
  return static_cast<int>(num >= 0 ? num / den : -((-num + den - 1) / den));
}
