// The plugin menu in the host window's menu bar, and the window procedure that serves
// it: plugin choice, sizing cursors over the frame, and saving the window's placement.
#include "plugin_menu.h"

#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include "activation.h"
#include "frame_filter.h"
#include "log.h"
#include "settings.h"

// Written when the menu is built and by choices from it (the window's thread).
static int32_t InsertionId = DefaultMenuInsertionId;
static UINT CheckedId = MenuIdNone;
static HMENU Popup = nullptr;
static WNDPROC WindowProcOrg = nullptr;

HMENU PluginPopup() { return Popup; }
UINT CheckedMenuId() { return CheckedId; }
int32_t MenuInsertionId() { return InsertionId; }
WNDPROC OriginalWindowProc() { return WindowProcOrg; }
void ForgetPluginMenu()
{
  InsertionId = DefaultMenuInsertionId;
  CheckedId = MenuIdNone;
  Popup = nullptr;
  WindowProcOrg = nullptr;
}

// Every entry the menu was built with, so that a command's item data is only ever
// followed when it is one of ours.
static std::vector<const PluginEntry*> PluginEntries;

// "Плагины" in Windows code page 1251, handed to the ANSI menu functions unchanged.
static char PopupCaption[] = "\xCF\xEB\xE0\xE3\xE8\xED\xFB";
constexpr UINT PopupCaptionLength = 7;
static char NoneCaption[] = "None";
static const char PluginPattern[] = "plugins/*.rpi";
static const char PluginDirectory[] = "plugins/";

// Menu-item records: the 32-bit platform's MENUITEMINFOA is 48 bytes.
static_assert(sizeof(void*) == 8 || sizeof(MENUITEMINFOA) == 48, "MENUITEMINFOA is 48 bytes");
constexpr UINT MaskPopup = MIIM_SUBMENU | MIIM_TYPE;          // 0x14
constexpr UINT MaskItem = MIIM_ID | MIIM_TYPE | MIIM_DATA;    // 0x32
static_assert(MaskPopup == 0x14 && MaskItem == 0x32, "menu-item masks");
// Items go "before identifier 0", which no item bears: the platform appends them.
constexpr UINT AppendMarker = 0;

static bool IsOurEntry(ULONG_PTR data)
{
  for (const PluginEntry* entry : PluginEntries)
    if (reinterpret_cast<ULONG_PTR>(entry) == data)
      return true;
  return false;
}

static void InsertItem(HMENU popup, UINT id, ULONG_PTR data, char* text)
{
  MENUITEMINFOA item = {};
  item.cbSize = sizeof item;
  item.fMask = MaskItem;
  item.fType = MFT_STRING;
  item.wID = id;
  item.dwItemData = data;
  item.dwTypeData = text;
  item.cch = static_cast<UINT>(std::strlen(text));
  InsertMenuItemA(popup, AppendMarker, FALSE, &item);
}

// Loads one plugin file and, if it is a usable plugin, gives it an item. A file that
// does not load, lacks RenderPluginGetInfo or returns no descriptor gets none.
static bool AddPlugin(HMENU popup, UINT id, const char* fileName, const char* defaultFilter, HMODULE& chosen)
{
  char path[MAX_PATH];
  const size_t prefix = sizeof PluginDirectory - 1;
  const size_t nameLength = std::strlen(fileName);
  if (prefix + nameLength + 1 > sizeof path) {
    WriteLogLabel("Plugin path too long: ", fileName);
    return false;
  }
  std::memcpy(path, PluginDirectory, prefix);
  std::memcpy(path + prefix, fileName, nameLength + 1);

  HMODULE module = LoadLibraryA(path);
  if (!module) {
    if (LogEnabled())
      WriteLogLabel("Plugin not loaded: ", path, " Err = ", static_cast<uint32_t>(GetLastError()));
    return false;
  }
  auto getInfo = reinterpret_cast<RenderPluginGetInfoFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "RenderPluginGetInfo")));
  if (!getInfo) {
    WriteLogLabel("Plugin without RenderPluginGetInfo: ", path);
    FreeLibrary(module);
    return false;
  }
  const PluginDescriptor* descriptor = QueryPluginDescriptor(getInfo);
  if (!descriptor) {
    WriteLogLabel("Plugin without descriptor: ", path);
    FreeLibrary(module);
    return false;
  }
  char name[RPI_NAME_SIZE + 1];
  CopyPluginName(descriptor, name);

  // Nothing may be thrown into the host: an entry that cannot be kept gets no item.
  PluginEntry* entry = new (std::nothrow) PluginEntry;
  try {
    if (entry)
      PluginEntries.push_back(entry);
  } catch (...) {
    delete entry;
    entry = nullptr;
  }
  if (!entry) {
    WriteLogLabel("Plugin not kept (out of memory): ", path);
    FreeLibrary(module);
    return false;
  }
  entry->hPluginModule = module;
  std::memcpy(entry->szPath, path, sizeof path);

  if (std::strcmp(defaultFilter, entry->szPath) == 0) {
    CheckedId = id;
    chosen = module;
  }
  WriteLogLabel("Init dwItemData = ", reinterpret_cast<uintptr_t>(entry), " Plugin name = ", name);
  InsertItem(popup, id, reinterpret_cast<ULONG_PTR>(entry), name);
  return true;
}

void CreatePluginsMenu(HWND hwnd)
{
  HMENU bar = GetMenu(hwnd);
  if (!bar)
    return;

  char settings[SettingsPathSize];
  SettingsPath(settings);
  char defaultFilter[MAX_PATH];
  ReadSettingText(settings, "default_filter", "", defaultFilter, sizeof defaultFilter);
  const int32_t menuId = ReadSettingInt(settings, "menu_id", InsertionId);
  if (menuId < static_cast<int32_t>(MenuIdNone))
    InsertionId = menuId;

  WriteLogLine(LogPoints::CreatePluginsMenu);

  HMENU popup = CreatePopupMenu();
  Popup = popup;
  MENUITEMINFOA caption = {};
  caption.cbSize = sizeof caption;
  caption.fMask = MaskPopup;
  caption.fType = MFT_STRING;
  caption.hSubMenu = popup;
  caption.dwTypeData = PopupCaption;
  caption.cch = PopupCaptionLength;
  InsertMenuItemA(bar, static_cast<UINT>(InsertionId), FALSE, &caption);

  HMODULE chosen = ActivePlugin();
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(PluginPattern, &found);
  if (search != INVALID_HANDLE_VALUE) {
    InsertItem(popup, MenuIdNone, 0, NoneCaption);
    CheckedId = MenuIdNone;
    UINT id = MenuIdFirstPlugin;
    do {
      if (id > MenuIdLast) {
        WriteLogLabel("More plugins than menu identifiers; skipped: ", found.cFileName);
        continue;
      }
      if (AddPlugin(popup, id, found.cFileName, defaultFilter, chosen))
        ++id;
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }

  SelectPlugin(chosen);
  CheckMenuItem(popup, CheckedId, MF_BYCOMMAND | MF_CHECKED);

  const LONG_PTR previous =
      SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
  WindowProcOrg = reinterpret_cast<WNDPROC>(previous);
  if (previous) {
    WriteLogLine(LogPoints::SubclassSuccess);
  } else if (LogEnabled()) {
    WriteLogLine(LogPoints::SubclassFailed);
    WriteLogLabel("GetLastError = ", static_cast<uint32_t>(GetLastError()));
  }
}

void SaveWindowPlacement(HWND hwnd)
{
  RECT rect = {};
  GetWindowRect(hwnd, &rect);
  char settings[SettingsPathSize];
  SettingsPath(settings);
  WriteSettingInt(settings, "left", rect.left);
  WriteSettingInt(settings, "top", rect.top);
  WriteSettingInt(settings, "width", rect.right - rect.left);
  WriteSettingInt(settings, "height", rect.bottom - rect.top);
}

// The system cursor that shows a frame's sizing direction, or 0 for none.
static LPCSTR SizingCursor(WPARAM hitTest)
{
  switch (hitTest) {
    case HTTOP:
    case HTBOTTOM:
      return IDC_SIZENS;
    case HTLEFT:
    case HTRIGHT:
      return IDC_SIZEWE;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
      return IDC_SIZENWSE;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT:
      return IDC_SIZENESW;
    default:
      return nullptr;
  }
}

// A command from our popup: switch plugin, move the check mark, remember the choice.
static void ChoosePlugin(UINT id)
{
  WriteLogLine(LogPoints::PluginChoice);

  // Looked up in our own popup: a host item with a high identifier is not a choice,
  // and item data is only followed when it is one of our entries.
  MENUITEMINFOA item = {};
  item.cbSize = sizeof item;
  item.fMask = MIIM_DATA;
  if (!Popup || !GetMenuItemInfoA(Popup, id, FALSE, &item)) {
    if (LogEnabled())
      WriteLogLabel("GetLastError = ", static_cast<uint32_t>(GetLastError()));
    return;
  }
  const bool isNone = item.dwItemData == 0 && id == MenuIdNone;
  if (!isNone && !IsOurEntry(item.dwItemData)) {
    WriteLogLabel("Not a plugin item: ", static_cast<uint32_t>(id));
    return;
  }
  WriteLogLabel("dwItemData = ", static_cast<uintptr_t>(item.dwItemData));

  const PluginEntry* entry = reinterpret_cast<const PluginEntry*>(item.dwItemData);
  SelectPlugin(entry ? entry->hPluginModule : nullptr);

  CheckMenuItem(Popup, CheckedId, MF_BYCOMMAND | MF_UNCHECKED);
  CheckMenuItem(Popup, id, MF_BYCOMMAND | MF_CHECKED);
  CheckedId = id;

  char settings[SettingsPathSize];
  SettingsPath(settings);
  WriteSettingText(settings, "default_filter", entry ? entry->szPath : "");
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
  WriteLogLine(LogPoints::WindowProc);
  WriteLogLabel("Message = ", static_cast<int32_t>(uMsg));

  switch (uMsg) {
    case WM_CLOSE:
      SaveWindowPlacement(hwnd);
      break;
    case WM_NCMOUSEMOVE:
      if (LPCSTR cursor = SizingCursor(wParam))
        SetCursor(LoadCursorA(nullptr, cursor));
      SaveWindowPlacement(hwnd);
      break;
    case WM_COMMAND:
      WriteLogLine(LogPoints::Command);
      if (HIWORD(wParam) == 0 && LOWORD(wParam) >= MenuIdNone)
        ChoosePlugin(LOWORD(wParam));
      break;
    default:
      break;
  }
  return CallWindowProcA(WindowProcOrg, hwnd, uMsg, wParam, lParam);
}

static_assert(std::is_same<decltype(&WindowProc), WNDPROC>::value,
              "WindowProc has the platform's window-procedure type");
