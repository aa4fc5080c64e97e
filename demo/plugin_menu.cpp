// Finding the library's plugin menu in the demo's own menu bar.
#include "plugin_menu.h"

#include <cctype>

namespace {

constexpr int kItemTextSize = 256;

struct MenuItem {
  UINT command = 0;
  HMENU submenu = nullptr;
  bool separator = false;
  std::string text;
};

MenuItem ReadItem(HMENU menu, int position)
{
  char text[kItemTextSize] = "";
  MENUITEMINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STRING;
  info.dwTypeData = text;
  info.cch = kItemTextSize;
  MenuItem item;
  if (!GetMenuItemInfoA(menu, static_cast<UINT>(position), TRUE, &info))
    return item;
  item.command = info.wID;
  item.submenu = info.hSubMenu;
  item.separator = (info.fType & MFT_SEPARATOR) != 0;
  item.text = text;
  return item;
}

bool IsPluginCommand(const MenuItem& item)
{
  return !item.submenu && !item.separator && item.command >= kPluginNoneCommand &&
         item.command < kPluginCommandLimit;
}

// The menu (menu itself or one of its submenus, depth first) that has the "None" item.
HMENU FindMenuWithCommand(HMENU menu, UINT command)
{
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    const MenuItem item = ReadItem(menu, i);
    if (item.submenu) {
      if (HMENU found = FindMenuWithCommand(item.submenu, command))
        return found;
    } else if (item.command == command) {
      return menu;
    }
  }
  return nullptr;
}

bool IsScaleDigit(char c) { return c >= '2' && c <= '4'; }
bool IsX(char c) { return c == 'x' || c == 'X'; }

}  // namespace

std::vector<PluginItem> FindPluginItems(HMENU menuBar)
{
  std::vector<PluginItem> items;
  if (!menuBar)
    return items;
  HMENU popup = FindMenuWithCommand(menuBar, kPluginNoneCommand);
  if (!popup)
    return items;
  const int count = GetMenuItemCount(popup);
  for (int i = 0; i < count; ++i) {
    const MenuItem item = ReadItem(popup, i);
    if (IsPluginCommand(item))
      items.push_back({item.command, item.text});
  }
  return items;
}

int ScaleFromItemText(const std::string& text)
{
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsScaleDigit(text[i]))
      continue;
    const bool xAfter = i + 1 < text.size() && IsX(text[i + 1]);
    const bool xBefore = i > 0 && IsX(text[i - 1]);
    if (xAfter || xBefore)
      return text[i] - '0';
  }
  return kDefaultPluginScale;
}

std::string ShownText(const std::string& text)
{
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size())
      ++i;  // skip the marker, keep the character it marks (or the second '&')
    out += text[i];
  }
  return out;
}

std::string SanitiseForFileName(const std::string& text)
{
  std::string out;
  for (char c : ShownText(text)) {
    const unsigned char u = static_cast<unsigned char>(c);
    const bool keep = u < 128 && (std::isalnum(u) || c == '-' || c == '.');
    if (keep)
      out += c;
    else if (out.empty() || out.back() != '_')
      out += '_';
  }
  while (!out.empty() && (out.back() == '_' || out.back() == '.'))
    out.pop_back();
  while (!out.empty() && (out.front() == '_' || out.front() == '.'))
    out.erase(out.begin());
  return out.empty() ? "plugin" : out;
}
