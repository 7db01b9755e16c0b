// The window's page as the program composes it while Install is still
// disabled, from the 1x or the 2x artwork: what a screenshot of the window
// at that scale is compared with.
//   page_picture 1|2 <out.bmp>
#include <cstdio>
#include <cstring>

#include "SelectLanguage/WindowLayout.h"
#include "resources/ProgramResources.h"
#include "sprite/SpriteDraw.h"
#include "sprite/SpritePage.h"
#include "sprite/SpriteSet.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "1") != 0 && std::strcmp(argv[1], "2") != 0)) {
    std::fprintf(stderr, "usage: page_picture 1|2 <out.bmp>\n");
    return 2;
  }
  const int a = argv[1][0] - '0';
  xSprite sprites;
  if (sprites.LoadFromMemory(FindProgramResource(u"MTO", a == 2 ? kResourceSpriteFile2x : kResourceSpriteFile)) != 1) {
    std::fprintf(stderr, "the artwork does not load\n");
    return 1;
  }
  SpritePage page;
  page.Create(sprites.GetWidth(0), sprites.GetHeight(0), 16);
  PutSprAuto(page, 0, 0, &sprites, 0, 0, 0, 0);
  PutSprAuto(page, kInstallButtonPlace.x * a, kInstallButtonPlace.y * a, &sprites, 4, 0, 0, 0);  // disabled
  PutSprAuto(page, kCloseButtonPlace.x * a, kCloseButtonPlace.y * a, &sprites, 5, 0, 0, 0);
  return page.SaveBmp(argv[2]) == 1 ? 0 : 1;
}
