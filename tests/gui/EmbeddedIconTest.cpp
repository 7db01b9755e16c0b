// The icon that the GTK host gives its window: the embedded image must decode
// with the system's gdk-pixbuf loaders, at the icon's size. No display needed.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "resources/ProgramResources.h"

namespace {

struct LoaderUnref {
  void operator()(GdkPixbufLoader* loader) const {
    gdk_pixbuf_loader_close(loader, nullptr);  // harmless after a successful close
    g_object_unref(loader);
  }
};

TEST(EmbeddedIcon, DecodesToA32By32ImageWithTransparency) {
  const auto icon = FindProgramResource(u"ICON", kResourceIcon);
  ASSERT_FALSE(icon.empty());
  std::unique_ptr<GdkPixbufLoader, LoaderUnref> loader(gdk_pixbuf_loader_new());
  GError* error = nullptr;
  const bool decoded = gdk_pixbuf_loader_write(loader.get(), icon.data(), icon.size(), &error) &&
                       gdk_pixbuf_loader_close(loader.get(), &error);
  const std::string message = error != nullptr ? error->message : "";
  if (error != nullptr) g_error_free(error);
  ASSERT_TRUE(decoded) << message;
  GdkPixbuf* image = gdk_pixbuf_loader_get_pixbuf(loader.get());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(image), 32);
  EXPECT_EQ(gdk_pixbuf_get_height(image), 32);
  EXPECT_TRUE(gdk_pixbuf_get_has_alpha(image));
}

}  // namespace
