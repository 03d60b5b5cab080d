#include "editor/embedded_resources.h"

#include <atomic>

namespace {

std::atomic<EmbeddedResourceFinder> gImages{nullptr};
std::atomic<EmbeddedResourceFinder> gCursors{nullptr};

bool Find(const std::atomic<EmbeddedResourceFinder>& finder, int id, const unsigned char** data,
          size_t* size) {
  EmbeddedResourceFinder f = finder.load(std::memory_order_acquire);
  return f && data && size && f(id, data, size);
}

}  // namespace

void RegisterEmbeddedResources(EmbeddedResourceFinder images, EmbeddedResourceFinder cursors) {
  gImages.store(images, std::memory_order_release);
  gCursors.store(cursors, std::memory_order_release);
}

bool FindEmbeddedImage(int id, const unsigned char** data, size_t* size) {
  return Find(gImages, id, data, size);
}

bool FindEmbeddedCursor(int id, const unsigned char** data, size_t* size) {
  return Find(gCursors, id, data, size);
}
