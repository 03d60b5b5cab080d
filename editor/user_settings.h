#pragma once
// The editor's per-user settings file (today only the zoom), kept apart from the plug-in
// state: a preference of the person, not of the song.
#include <string>

// <config folder>/<folderName>/<fileName>: $XDG_CONFIG_HOME or ~/.config on Linux,
// %APPDATA% on Windows. Empty when none of them is known.
std::string UserSettingsPath(const char* folderName, const char* fileName);

// The zoom stored in the file: 0 (follow the screen) when the file is missing, unreadable or
// garbled, or holds a zoom outside 1..3.
double ReadZoomSetting(const char* path);
// Writes the zoom through a temporary file renamed over the old one, so that a crash or a
// second instance writing at the same time never leaves half a file. Creates the folder.
bool WriteZoomSetting(const char* path, double zoom);
