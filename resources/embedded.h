#pragma once

#include <cstddef>

// The editor's images compiled into the module, for platforms without a resource
// section. Ids are the same numeric ids the Windows resource script gives the "PNG"
// resources (100-110).
//
// On success *data points at the PNG file's bytes (static storage, never freed) and
// *size holds their count. An unknown id, or a null output pointer, answers false and
// leaves the outputs untouched.
bool CaldrithFindResource(int id, const unsigned char** data, size_t* size);

// The LFO graph's two cursors (ids 98 and 99) as Windows .cur files, for tools and tests;
// same contract as above.
bool CaldrithFindCursor(int id, const unsigned char** data, size_t* size);
