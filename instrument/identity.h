#pragma once
// Caldrith's identity, written once. Both module formats, moduleinfo.json, caldrith-render
// --version and the release files read it from here: CMakeLists.txt takes the version, name,
// vendor and URLs from the lines below (keep each on its own line, in this form).
#include "framework/plug_identity.h"

inline constexpr char kCaldrithName[] = "Caldrith";
inline constexpr char kCaldrithVendor[] = "Quenlor";
inline constexpr char kCaldrithUrl[] = "www.quenlor.com";
inline constexpr char kCaldrithVersion[] = "1.0.0";
inline constexpr char kCaldrithClapId[] = "com.quenlor.caldrith";
inline constexpr char kCaldrithLv2Uri[] = "urn:quenlor:caldrith";

inline constexpr PlugIdentity kCaldrithIdentity = {
    kCaldrithName,
    kCaldrithVendor,
    kCaldrithUrl,
    kCaldrithVersion,
    "Endlessly rising or falling tone stack with an isochronic pulse",
    {0xF2AEE70D, 0x00DE4F4E, 0x516E6C72 /* 'Qnlr' */, 0x34566473},
    kCaldrithClapId,
    kCaldrithLv2Uri,
};
