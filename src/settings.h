// The settings file "filters.ini", section "options", resolved against the current
// directory at each use and read and written with the platform's profile functions.
#pragma once

#include <windows.h>

#include <cstdint>

// A current directory too long for a 260-character path gives an empty path: every
// key then reads as absent and nothing is written.
constexpr int SettingsPathSize = MAX_PATH;
bool SettingsPath(char (&path)[SettingsPathSize]);

int32_t ReadSettingInt(const char* path, const char* key, int32_t fallback);
void ReadSettingText(const char* path, const char* key, const char* fallback, char* out, DWORD size);
void WriteSettingText(const char* path, const char* key, const char* value);
void WriteSettingInt(const char* path, const char* key, int32_t value);
