#include "settings.h"

#include <cstdio>

static const char SettingsFile[] = "filters.ini";
static const char SettingsSection[] = "options";

bool SettingsPath(char (&path)[SettingsPathSize])
{
  const DWORD length = GetFullPathNameA(SettingsFile, SettingsPathSize, path, nullptr);
  if (length == 0 || length >= SettingsPathSize) {
    path[0] = '\0';
    return false;
  }
  return true;
}

int32_t ReadSettingInt(const char* path, const char* key, int32_t fallback)
{
  if (!path[0])
    return fallback;
  return static_cast<int32_t>(GetPrivateProfileIntA(SettingsSection, key, fallback, path));
}

void ReadSettingText(const char* path, const char* key, const char* fallback, char* out, DWORD size)
{
  if (!path[0]) {
    lstrcpynA(out, fallback, static_cast<int>(size));
    return;
  }
  GetPrivateProfileStringA(SettingsSection, key, fallback, out, size, path);
}

void WriteSettingText(const char* path, const char* key, const char* value)
{
  if (path[0])
    WritePrivateProfileStringA(SettingsSection, key, value, path);
}

void WriteSettingInt(const char* path, const char* key, int32_t value)
{
  char text[16];
  std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
  WriteSettingText(path, key, text);
}
