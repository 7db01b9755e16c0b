// The table that the build generates from resources/ (cmake/EmbedResources.cmake).
#pragma once

struct EmbeddedResource {
  const char16_t* type;
  int id;
  const unsigned char* data;
  unsigned size;
};

extern const EmbeddedResource kEmbeddedResources[];
extern const unsigned kEmbeddedResourceCount;
