#pragma once
// The module's images and cursors for platforms without a resource section (the headless
// and X11 editors). The product registers where they live; the editor layer itself carries
// no images.
#include <cstddef>

// Same contract for both: on success *data points at the file's bytes (static storage) and
// *size holds their count; an unknown id answers false.
using EmbeddedResourceFinder = bool (*)(int id, const unsigned char** data, size_t* size);

// Either may be null (nothing embedded of that kind). Thread-safe; the last call wins.
void RegisterEmbeddedResources(EmbeddedResourceFinder images, EmbeddedResourceFinder cursors);

// False when nothing is registered or the id is unknown.
bool FindEmbeddedImage(int id, const unsigned char** data, size_t* size);
bool FindEmbeddedCursor(int id, const unsigned char** data, size_t* size);
