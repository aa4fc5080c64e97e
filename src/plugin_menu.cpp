// The plugin menu in each device window (its menu bar, or its system menu when it has
// no bar), and the window procedure that serves it: plugin choice, the cycling key,
// sizing cursors over the frame, and saving the window's placement.
#include "plugin_menu.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include "activation.h"
#include "frame_filter.h"
#include "log.h"
#include "settings.h"

// Written when a menu is built and by choices from it (window threads).
static int32_t InsertionId = DefaultMenuInsertionId;
static UINT CheckedId = MenuIdNone;  // as the menu bar numbers it
static HMENU Popup = nullptr;        // the first window's
static WNDPROC WindowProcOrg = nullptr;  // the first window's

// Every window set up: its popup (in its menu bar or its system menu, or none), and
// the window procedure ours forwards to, in the character set the window uses.
struct WindowRecord {
  HWND hwnd;
  HMENU popup;
  bool systemMenu;
  bool unicode;
  WNDPROC original;
};
constexpr size_t WindowCapacity = 256;
static WindowRecord Windows[WindowCapacity];
static size_t WindowCount = 0;
static SRWLOCK WindowsLock = SRWLOCK_INIT;

// Device windows may be set up on any thread while window threads handle choices: one
// lock spans each set-up, choice and key press (the plugin registry, the check mark,
// the first window's records). Taken before the window records' lock and before the
// frame filter's, never the other way round.
static SRWLOCK MenuLock = SRWLOCK_INIT;
namespace {
struct MenuHold {
  MenuHold() { AcquireSRWLockExclusive(&MenuLock); }
  ~MenuHold() { ReleaseSRWLockExclusive(&MenuLock); }
  MenuHold(const MenuHold&) = delete;
  MenuHold& operator=(const MenuHold&) = delete;
};
}  // namespace

// The cycling key's virtual-key code (0: off).
static UINT CycleKeyCode = DefaultCycleKey;

HMENU PluginPopup() { return Popup; }
UINT CheckedMenuId() { return CheckedId; }
int32_t MenuInsertionId() { return InsertionId; }
WNDPROC OriginalWindowProc() { return WindowProcOrg; }
UINT CycleKey() { return CycleKeyCode; }

static bool FindWindowRecord(HWND hwnd, WindowRecord* out)
{
  AcquireSRWLockShared(&WindowsLock);
  bool found = false;
  for (size_t i = 0; i < WindowCount && !found; ++i) {
    if (Windows[i].hwnd == hwnd) {
      if (out)
        *out = Windows[i];
      found = true;
    }
  }
  ReleaseSRWLockShared(&WindowsLock);
  return found;
}

static bool AddWindowRecord(const WindowRecord& record)
{
  AcquireSRWLockExclusive(&WindowsLock);
  const bool room = WindowCount < WindowCapacity;
  if (room)
    Windows[WindowCount++] = record;
  ReleaseSRWLockExclusive(&WindowsLock);
  return room;
}

static void RemoveWindowRecord(HWND hwnd)
{
  AcquireSRWLockExclusive(&WindowsLock);
  for (size_t i = 0; i < WindowCount; ++i) {
    if (Windows[i].hwnd == hwnd) {
      Windows[i] = Windows[--WindowCount];
      break;
    }
  }
  ReleaseSRWLockExclusive(&WindowsLock);
}

static size_t CopyWindowRecords(WindowRecord (&out)[WindowCapacity])
{
  AcquireSRWLockShared(&WindowsLock);
  const size_t count = WindowCount;
  for (size_t i = 0; i < count; ++i)
    out[i] = Windows[i];
  ReleaseSRWLockShared(&WindowsLock);
  return count;
}

bool WindowHasPluginsMenu(HWND hwnd) { return FindWindowRecord(hwnd, nullptr); }

HMENU WindowPluginPopup(HWND hwnd)
{
  WindowRecord record = {};
  return FindWindowRecord(hwnd, &record) ? record.popup : nullptr;
}

// Every entry a menu was ever built with, so that a command's item data is only ever
// followed when it is one of ours.
static std::vector<const PluginEntry*> PluginEntries;
// The plugins of this process in the order they were first found: entry i bears
// identifier MenuIdFirstPlugin + i in every window, whatever the directory holds when a
// later window is set up.
static std::vector<PluginEntry*> Registry;

void ForgetPluginMenu()
{
  const MenuHold hold;
  InsertionId = DefaultMenuInsertionId;
  CheckedId = MenuIdNone;
  Popup = nullptr;
  WindowProcOrg = nullptr;
  CycleKeyCode = DefaultCycleKey;
  Registry.clear();
  AcquireSRWLockExclusive(&WindowsLock);
  WindowCount = 0;
  ReleaseSRWLockExclusive(&WindowsLock);
}

UINT SystemMenuId(UINT id) { return MenuIdNone + (id - MenuIdNone) * 16; }

// The identifier an item bears in a window's popup.
static UINT ItemId(UINT id, bool systemMenu) { return systemMenu ? SystemMenuId(id) : id; }

// The registered entry for a path, or null.
static PluginEntry* RegisteredEntry(const char* path)
{
  for (PluginEntry* entry : Registry)
    if (std::strcmp(entry->szPath, path) == 0)
      return entry;
  return nullptr;
}

// The menu-bar identifier of an entry (None for null or one not registered).
static UINT IdOfEntry(const PluginEntry* entry)
{
  for (size_t i = 0; i < Registry.size(); ++i)
    if (Registry[i] == entry)
      return MenuIdFirstPlugin + static_cast<UINT>(i);
  return MenuIdNone;
}

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

// Gives one plugin file an item in the popup (none when null): a file registered by an
// earlier window keeps its entry and identifier; another is loaded and, if it is a
// usable plugin, registered with the next identifier. A file that does not load, lacks
// RenderPluginGetInfo or returns no descriptor gets none.
static bool AddPlugin(HMENU popup, bool systemMenu, const char* fileName, const char* defaultFilter, HMODULE& chosen)
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

  if (PluginEntry* known = RegisteredEntry(path)) {
    char knownName[RPI_NAME_SIZE + 1] = "";
    auto getInfo = reinterpret_cast<RenderPluginGetInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(known->hPluginModule, "RenderPluginGetInfo")));
    if (const PluginDescriptor* descriptor = getInfo ? QueryPluginDescriptor(getInfo) : nullptr)
      CopyPluginName(descriptor, knownName);
    if (popup)
      InsertItem(popup, ItemId(IdOfEntry(known), systemMenu), reinterpret_cast<ULONG_PTR>(known), knownName);
    return true;
  }
  const UINT id = MenuIdFirstPlugin + static_cast<UINT>(Registry.size());
  if (id > (systemMenu ? MenuIdLastSystem : MenuIdLast)) {
    WriteLogLabel("More plugins than menu identifiers; skipped: ", fileName);
    return false;
  }

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
    if (entry) {
      PluginEntries.push_back(entry);
      try {
        Registry.push_back(entry);
      } catch (...) {
        PluginEntries.pop_back();
        throw;
      }
    }
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
  if (popup)
    InsertItem(popup, ItemId(id, systemMenu), reinterpret_cast<ULONG_PTR>(entry), name);
  return true;
}

// The cycling key from filter_key: a virtual-key code in decimal or 0x hexadecimal,
// 0 for none. Anything else (no key, an unparsable or out-of-range value) is the default.
static UINT ReadCycleKey(const char* settings)
{
  char text[32];
  ReadSettingText(settings, "filter_key", "", text, sizeof text);
  const char* p = text;
  while (*p == ' ' || *p == '\t')
    ++p;
  if (!*p)
    return DefaultCycleKey;
  char* end = nullptr;
  const unsigned long value = std::strtoul(p, &end, 0);
  while (end && (*end == ' ' || *end == '\t'))
    ++end;
  if (end == p || !end || *end || *p == '-' || *p == '+' || value > 0xFE)
    return DefaultCycleKey;
  return static_cast<UINT>(value);
}

// The window's system menu, when it shows one.
static HMENU ShownSystemMenu(HWND hwnd)
{
  if (!(GetWindowLongA(hwnd, GWL_STYLE) & WS_SYSMENU))
    return nullptr;
  return GetSystemMenu(hwnd, FALSE);
}

// Sets one window up: its popup (in its menu bar, or else in its system menu, or none
// for a window with neither), the plugins found now, the check mark, and the subclass.
// The first window also reads default_filter and activates it.
static void SetUpWindow(HWND hwnd, bool first)
{
  const MenuHold hold;
  if (!hwnd || WindowHasPluginsMenu(hwnd))
    return;
  HMENU bar = GetMenu(hwnd);

  char settings[SettingsPathSize];
  SettingsPath(settings);
  char defaultFilter[MAX_PATH] = "";
  if (first)
    ReadSettingText(settings, "default_filter", "", defaultFilter, sizeof defaultFilter);
  const int32_t menuId = ReadSettingInt(settings, "menu_id", InsertionId);
  if (menuId < static_cast<int32_t>(MenuIdNone))
    InsertionId = menuId;
  CycleKeyCode = ReadCycleKey(settings);

  WriteLogLine(LogPoints::CreatePluginsMenu);
  if (first)
    Registry.clear();  // identifiers counted afresh from the first window

  HMENU popup = CreatePopupMenu();
  MENUITEMINFOA caption = {};
  caption.cbSize = sizeof caption;
  caption.fMask = MaskPopup;
  caption.fType = MFT_STRING;
  caption.hSubMenu = popup;
  caption.dwTypeData = PopupCaption;
  caption.cch = PopupCaptionLength;
  bool systemMenu = false;
  if (bar) {
    InsertMenuItemA(bar, static_cast<UINT>(InsertionId), FALSE, &caption);
  } else if (HMENU system = ShownSystemMenu(hwnd)) {
    // Below the platform's items, after a separator; the client area stays as it is.
    systemMenu = true;
    AppendMenuA(system, MF_SEPARATOR, 0, nullptr);
    InsertMenuItemA(system, GetMenuItemCount(system), TRUE, &caption);
    WriteLogLine(LogPoints::SystemMenuPopup);
  } else {
    // Nowhere to show it: the configured plugin and the key still work.
    DestroyMenu(popup);
    popup = nullptr;
    WriteLogLine(LogPoints::NoMenuAtAll);
  }
  if (!Popup)
    Popup = popup;

  HMODULE chosen = ActivePlugin();
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(PluginPattern, &found);
  if (search != INVALID_HANDLE_VALUE) {
    if (popup)
      InsertItem(popup, MenuIdNone, 0, NoneCaption);
    if (first)
      CheckedId = MenuIdNone;
    do {
      AddPlugin(popup, systemMenu, found.cFileName, defaultFilter, chosen);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }

  if (first)
    SelectPlugin(chosen);
  if (popup)
    CheckMenuItem(popup, ItemId(CheckedId, systemMenu), MF_BYCOMMAND | MF_CHECKED);

  // A Unicode window is subclassed with the wide functions, so that its messages reach
  // it as the platform made them.
  const bool unicode = IsWindowUnicode(hwnd) != FALSE;
  // The procedure in place now, until the replacement's answer comes: a message that
  // another thread dispatches meanwhile still reaches the window's own procedure.
  const auto current = reinterpret_cast<WNDPROC>(unicode ? GetWindowLongPtrW(hwnd, GWLP_WNDPROC)
                                                         : GetWindowLongPtrA(hwnd, GWLP_WNDPROC));
  if (!AddWindowRecord({hwnd, popup, systemMenu, unicode, current})) {
    WriteLogLabel("Too many windows; not subclassed: ", reinterpret_cast<uintptr_t>(hwnd));
    return;
  }
  const LONG_PTR previous =
      unicode ? SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc))
              : SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
  AcquireSRWLockExclusive(&WindowsLock);
  for (size_t i = 0; i < WindowCount; ++i)
    if (Windows[i].hwnd == hwnd)
      Windows[i].original = reinterpret_cast<WNDPROC>(previous);
  ReleaseSRWLockExclusive(&WindowsLock);
  if (!WindowProcOrg)
    WindowProcOrg = reinterpret_cast<WNDPROC>(previous);
  if (previous) {
    WriteLogLine(LogPoints::SubclassSuccess);
  } else if (LogEnabled()) {
    // The record stays: the window has its popup, and a later device adds no second.
    WriteLogLine(LogPoints::SubclassFailed);
    WriteLogLabel("GetLastError = ", static_cast<uint32_t>(GetLastError()));
  }
}

void CreatePluginsMenu(HWND hwnd) { SetUpWindow(hwnd, true); }
void AddPluginsMenu(HWND hwnd) { SetUpWindow(hwnd, false); }

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

// Makes `entry` (null: "None") the plugin in use, moves the check mark in every
// window's popup and remembers the choice in default_filter.
static void ApplyChoice(const PluginEntry* entry)
{
  SelectPlugin(entry ? entry->hPluginModule : nullptr);

  const UINT id = IdOfEntry(entry);
  WindowRecord records[WindowCapacity];
  const size_t count = CopyWindowRecords(records);
  for (size_t i = 0; i < count; ++i) {
    if (!records[i].popup)
      continue;
    CheckMenuItem(records[i].popup, ItemId(CheckedId, records[i].systemMenu), MF_BYCOMMAND | MF_UNCHECKED);
    CheckMenuItem(records[i].popup, ItemId(id, records[i].systemMenu), MF_BYCOMMAND | MF_CHECKED);
  }
  CheckedId = id;

  char settings[SettingsPathSize];
  SettingsPath(settings);
  WriteSettingText(settings, "default_filter", entry ? entry->szPath : "");
}

// The entry behind item `id` of a popup: false when the popup has no such item or its
// data is none of ours ("None" is the item MenuIdNone without data).
static bool LookUpItem(HMENU popup, UINT id, ULONG_PTR* data)
{
  const MenuHold hold;
  MENUITEMINFOA item = {};
  item.cbSize = sizeof item;
  item.fMask = MIIM_DATA;
  if (!popup || !GetMenuItemInfoA(popup, id, FALSE, &item))
    return false;
  *data = item.dwItemData;
  return (item.dwItemData == 0 && id == MenuIdNone) || IsOurEntry(item.dwItemData);
}

// A command from a window's popup: switch plugin, move the check mark, remember the choice.
static void ChoosePlugin(HMENU popup, UINT id)
{
  const MenuHold hold;
  WriteLogLine(LogPoints::PluginChoice);

  // Looked up in the window's own popup: a host item with a high identifier is not a
  // choice, and item data is only followed when it is one of our entries.
  MENUITEMINFOA item = {};
  item.cbSize = sizeof item;
  item.fMask = MIIM_DATA;
  if (!popup || !GetMenuItemInfoA(popup, id, FALSE, &item)) {
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
  ApplyChoice(reinterpret_cast<const PluginEntry*>(item.dwItemData));
}

// The cycling key: the item after the checked one, "None" after the last plugin.
static void CycleFilter()
{
  const MenuHold hold;
  WriteLogLine(LogPoints::CycleKey);
  const size_t next = CheckedId - MenuIdNone;  // 0 for None, i + 1 for entry i
  ApplyChoice(next < Registry.size() ? Registry[next] : nullptr);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
  WriteLogLine(LogPoints::WindowProc);
  WriteLogLabel("Message = ", static_cast<int32_t>(uMsg));

  WindowRecord record = {};
  const bool known = FindWindowRecord(hwnd, &record);
  if (!known) {
    record.original = WindowProcOrg;
    record.popup = Popup;
    record.unicode = IsWindowUnicode(hwnd) != FALSE;
  }

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
        ChoosePlugin(record.popup, LOWORD(wParam));
      break;
    case WM_SYSCOMMAND: {
      // The platform uses the low four bits itself; our items have them clear. Other
      // system commands, the host's own items among them, go on untouched.
      const UINT id = static_cast<UINT>(wParam & 0xFFF0);
      ULONG_PTR data = 0;
      if (record.systemMenu && id >= MenuIdNone && id < 0xF000 && LookUpItem(record.popup, id, &data)) {
        WriteLogLine(LogPoints::SysCommand);
        ChoosePlugin(record.popup, id);
        return 0;  // a choice of ours: the host never put that item there
      }
      break;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
      if (CycleKeyCode && wParam == CycleKeyCode) {
        // Pressed (not held and repeated): the next filter. The host sees neither edge.
        if ((uMsg == WM_KEYDOWN || uMsg == WM_SYSKEYDOWN) && !(lParam & (1L << 30)))
          CycleFilter();
        return 0;
      }
      break;
    case WM_NCDESTROY:
      RemoveWindowRecord(hwnd);
      break;
    default:
      break;
  }
  if (record.unicode)
    return CallWindowProcW(record.original, hwnd, uMsg, wParam, lParam);
  return CallWindowProcA(record.original, hwnd, uMsg, wParam, lParam);
}

static_assert(std::is_same<decltype(&WindowProc), WNDPROC>::value,
              "WindowProc has the platform's window-procedure type");
