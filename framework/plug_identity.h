#pragma once
// Who a plug-in is, as every format binding announces it. The product layer fills one record;
// the bindings, the tools and the release files read it, so a name or a version is written
// once.
#include <cstdint>

struct PlugIdentity {
  const char* name;         // the plug-in's name in every host
  const char* vendor;       // the maker
  const char* url;          // the maker's web site, bare host name
  const char* version;      // "N.N.N"
  const char* description;  // one line, for hosts that show one
  // The VST 3 class id's four words as INLINE_UID takes them (the third is the maker code, the
  // fourth the plug-in's own id).
  uint32_t vst3ClassWords[4];
  const char* clapId;  // reverse-domain CLAP plug-in id
  const char* lv2Uri;  // LV2 plug-in URI
};

// "N.N.N" as 0xMMMMmmpp-style vendor version (major << 16 | minor << 8 | patch); parts beyond
// their field saturate rather than spill into the next.
constexpr int PlugVersionCode(const char* version) {
  int parts[3] = {0, 0, 0};
  int part = 0;
  for (const char* c = version; *c && part < 3; ++c) {
    if (*c == '.') {
      ++part;
    } else if (*c >= '0' && *c <= '9') {
      parts[part] = parts[part] * 10 + (*c - '0');
      if (parts[part] > 255) parts[part] = 255;
    }
  }
  return (parts[0] << 16) | (parts[1] << 8) | parts[2];
}
