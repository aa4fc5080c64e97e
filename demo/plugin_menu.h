// Finding the library's plugin menu in the demo's own menu bar. The library inserts a
// popup whose items have command identifiers 50000 ("None") and 50001, 50002, ...
// (one per plugin, with the plugin's display name as the item text).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

constexpr UINT kPluginNoneCommand = 50000;
constexpr UINT kPluginCommandLimit = 51000;  // identifiers at or above it are not plugins'
constexpr int kDefaultPluginScale = 2;        // the library's factor for a plugin that names none

struct PluginItem {
  UINT command = 0;
  std::string text;  // as the menu shows it
};

// The items of the popup (searched for in menuBar and all its submenus) that holds
// the "None" item, in menu order; empty when there is no such popup.
std::vector<PluginItem> FindPluginItems(HMENU menuBar);

// The scale factor named in a plugin's display name ("Scale3x", "xBR 4x", "2xSaI",
// "hq4x": a digit 2, 3 or 4 next to an 'x'); kDefaultPluginScale when it names none.
int ScaleFromItemText(const std::string& text);

// The item text as shown: "&" mnemonic markers removed ("&&" shows one "&").
std::string ShownText(const std::string& text);

// The text with everything but ASCII letters, digits, '-' and '.' turned into '_',
// runs of '_' merged, for use in a file name; "plugin" when nothing is left.
std::string SanitiseForFileName(const std::string& text);
