#include "editor/user_settings.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Whole percent, so that a host's number locale cannot change how the file reads.
constexpr const char* kZoomKey = "zoom-percent=";

#ifdef _WIN32
std::wstring Widen(const std::string& s) {
  if (s.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
  std::wstring w(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], n);
  w.resize(w.size() - 1);
  return w;
}

std::string Narrow(const wchar_t* w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, -1, &s[0], n, nullptr, nullptr);
  s.resize(s.size() - 1);
  return s;
}

bool MakeFolder(const std::string& path) {
  return CreateDirectoryW(Widen(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

FILE* OpenFile(const std::string& path, const wchar_t* mode) {
  return _wfopen(Widen(path).c_str(), mode);
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  return MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
constexpr char kSep = '\\';
#else
bool MakeFolder(const std::string& path) {
  return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

FILE* OpenFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}
constexpr char kSep = '/';
#endif

// Every folder above the file, from the top.
bool MakeFolders(const std::string& file) {
  for (size_t i = 1; i < file.size(); ++i) {
    if (file[i] != '/' && file[i] != '\\') continue;
    const std::string folder = file.substr(0, i);
    if (folder.size() == 2 && folder[1] == ':') continue;  // a drive letter
    if (!MakeFolder(folder)) return false;
  }
  return true;
}

}  // namespace

std::string UserSettingsPath(const char* folderName, const char* fileName) {
  if (!folderName || !fileName || !folderName[0] || !fileName[0]) return std::string();
  std::string base;
#ifdef _WIN32
  const wchar_t* appData = _wgetenv(L"APPDATA");
  if (appData && appData[0]) base = Narrow(appData);
#else
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  // The XDG rules ignore a relative path.
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME")) {
    if (home[0] == '/') base = std::string(home) + "/.config";
  }
#endif
  if (base.empty()) return std::string();
  return base + kSep + folderName + kSep + fileName;
}

double ReadZoomSetting(const char* path) {
  if (!path || !path[0]) return 0.0;
#ifdef _WIN32
  FILE* f = OpenFile(path, L"rb");
#else
  FILE* f = OpenFile(path, "rb");
#endif
  if (!f) return 0.0;
  char buf[256];
  const size_t n = std::fread(buf, 1, sizeof(buf) - 1, f);
  std::fclose(f);
  buf[n] = 0;
  double zoom = 0.0;
  // One "key=value" a line; unknown lines are left for later versions.
  for (char* line = buf; line && *line;) {
    char* next = std::strchr(line, '\n');
    if (next) *next++ = 0;
    if (std::strncmp(line, kZoomKey, std::strlen(kZoomKey)) == 0) {
      const char* v = line + std::strlen(kZoomKey);
      char* end = nullptr;
      const long percent = std::strtol(v, &end, 10);
      while (end && (*end == '\r' || *end == ' ')) ++end;
      const bool valid = end != v && end && *end == 0;
      zoom = valid && (percent == 0 || (percent >= 100 && percent <= 300)) ? percent / 100.0 : 0.0;
    }
    line = next;
  }
  return zoom;
}

bool WriteZoomSetting(const char* path, double zoom) {
  if (!path || !path[0] || !std::isfinite(zoom)) return false;
  const std::string target = path;
  if (!MakeFolders(target)) return false;
#ifdef _WIN32
  const std::string temp = target + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
  FILE* f = OpenFile(temp, L"wb");
#else
  const std::string temp = target + "." + std::to_string(getpid()) + ".tmp";
  FILE* f = OpenFile(temp, "wb");
#endif
  if (!f) return false;
  char text[64];
  const int len = std::snprintf(text, sizeof(text), "%s%ld\n", kZoomKey, std::lround(zoom * 100.0));
  bool ok = len > 0 && std::fwrite(text, 1, static_cast<size_t>(len), f) == static_cast<size_t>(len);
  ok = std::fflush(f) == 0 && ok;
#ifndef _WIN32
  ok = fsync(fileno(f)) == 0 && ok;
#endif
  ok = std::fclose(f) == 0 && ok;
  if (ok) ok = ReplaceFile(temp, target);
  if (!ok) std::remove(temp.c_str());
  return ok;
}
