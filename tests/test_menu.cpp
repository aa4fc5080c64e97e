// The plugin menu and the window procedure, on real windows with real menu bars and
// the test plugin DLLs, through the library's CreatePluginsMenu and WindowProc.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "library_log.h"
#include "src/frame_filter.h"
#include "src/plugin_menu.h"
#include "testing.h"

namespace {

// ---- the host window: records the messages that reach it ----

struct Received {
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Received> HostReceived;

LRESULT HostResult(UINT msg) { return 0x1000 + msg; }

bool Recorded(UINT msg)
{
  return msg == WM_COMMAND || msg == WM_SYSCOMMAND || msg == WM_CLOSE || msg == WM_NCMOUSEMOVE || msg >= WM_USER;
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  if (!Recorded(msg))
    return DefWindowProcA(hwnd, msg, wParam, lParam);
  HostReceived.push_back({msg, wParam, lParam});
  return HostResult(msg);
}

HWND CreateHostWindow(HMENU menu) { return MakeTestWindow(HostProc, WS_OVERLAPPEDWINDOW, menu); }

// A menu bar: "File" (Open 40001, Exit 40002), "Help" (Index 40021, About 40022),
// and a top-level item "Go" 123.
HMENU TypicalMenuBar()
{
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuA(file, MF_STRING, 40001, "Open");
  AppendMenuA(file, MF_STRING, 40002, "Exit");
  HMENU help = CreatePopupMenu();
  AppendMenuA(help, MF_STRING, 40021, "Index");
  AppendMenuA(help, MF_STRING, 40022, "About");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "File");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "Help");
  AppendMenuA(bar, MF_STRING, 123, "Go");
  return bar;
}

std::string ItemText(HMENU menu, UINT position)
{
  char text[256] = {};
  GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
  return text;
}

const std::string Caption = "\xCF\xEB\xE0\xE3\xE8\xED\xFB";  // "Плагины" in code page 1251

// Where a popup captioned "Плагины" sits: its parent menu and position, searched
// depth-first.
bool FindPluginPopup(HMENU menu, HMENU* parent, int* position, HMENU* popup)
{
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    HMENU sub = GetSubMenu(menu, i);
    if (!sub)
      continue;
    if (ItemText(menu, i) == Caption) {
      *parent = menu;
      *position = i;
      *popup = sub;
      return true;
    }
    if (FindPluginPopup(sub, parent, position, popup))
      return true;
  }
  return false;
}

struct Item {
  UINT id;
  std::string text;
  ULONG_PTR data;
  bool checked;
};

std::vector<Item> PopupItems(HMENU popup)
{
  std::vector<Item> items;
  for (int i = 0; i < GetMenuItemCount(popup); ++i) {
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_DATA | MIIM_STATE;
    GetMenuItemInfoA(popup, i, TRUE, &info);
    items.push_back({info.wID, ItemText(popup, i), info.dwItemData, (info.fState & MFS_CHECKED) != 0});
  }
  return items;
}

// The plugin files of a directory in the order the platform's directory search gives.
std::vector<std::string> SearchOrder(const std::string& dir)
{
  return FilesIn(JoinPath(dir, "plugins"), "*.rpi");
}

std::string TestPluginPath(const std::string& name)
{
  return JoinPath(TestDataDir(), "plugins\\" + name + ".rpi");
}

// ---- fixture: a current directory with plugins/ and filters.ini, a host window ----

class PluginMenu : public testing::Test {
 protected:
  void SetUp() override
  {
    OpenLibraryLog();
    SelectPlugin(nullptr);
    ForgetPluginMenu();
    HostReceived.clear();
    cwd_ = std::make_unique<CurrentDirectory>(dir_.path());
    SurfaceGeometryRecord geometry = {};
    geometry.Desc.Width = 640;
    geometry.Desc.Height = 480;
    geometry.Pitch = 1280;
    SetMeasuredBackBuffer(geometry);
  }
  void TearDown() override
  {
    if (hwnd_)
      DestroyWindow(hwnd_);
    cwd_.reset();
    SelectPlugin(nullptr);
  }

  void AddPlugins(const std::vector<std::string>& names)
  {
    CreateDirectoryA((dir_ / "plugins").c_str(), nullptr);
    for (const std::string& name : names)
      CopyInto(TestPluginPath(name), dir_ / "plugins");
  }

  // Builds the menu for a new host window with the given menu bar.
  void Build(HMENU bar = TypicalMenuBar())
  {
    hwnd_ = CreateHostWindow(bar);
    ASSERT_NE(hwnd_, nullptr);
    CreatePluginsMenu(hwnd_);
  }

  HMENU Popup()
  {
    HMENU parent, popup;
    int position;
    return FindPluginPopup(GetMenu(hwnd_), &parent, &position, &popup) ? popup : nullptr;
  }

  std::string Setting(const char* key)
  {
    char value[MAX_PATH] = {};
    GetPrivateProfileStringA("options", key, "<absent>", value, sizeof value, (dir_ / "filters.ini").c_str());
    return value;
  }

  TempDir dir_;
  std::unique_ptr<CurrentDirectory> cwd_;
  HWND hwnd_ = nullptr;
};

// ---- building the menu ----

struct PlacementCase {
  const char* name;
  std::vector<std::string> settings;
  HMENU (*bar)();
  std::vector<int> parentPath;  // positions from the bar down to the popup's parent
  int position;                 // the popup's position in its parent
};

TEST_F(PluginMenu, PopupLandsBeforeTheMenuIdItemWhereverItIsOrAtTheEndOfTheBar)
{
  const PlacementCase cases[] = {
      {"default 40022 inside Help", {}, TypicalMenuBar, {1}, 1},
      {"menu_id 123 on the bar", {"menu_id=123"}, TypicalMenuBar, {}, 2},
      {"menu_id 40002 inside File", {"menu_id=40002"}, TypicalMenuBar, {0}, 1},
      {"menu_id 50000 is ignored", {"menu_id=50000"}, TypicalMenuBar, {1}, 1},
      {"menu_id 70000 is ignored", {"menu_id=70000"}, TypicalMenuBar, {1}, 1},
      {"no such item: appended to the bar", {"menu_id=777"}, TypicalMenuBar, {}, 3},
      {"no 40022 anywhere", {},
       [] {
         HMENU bar = CreateMenu();
         AppendMenuA(bar, MF_STRING, 1, "One");
         AppendMenuA(bar, MF_STRING, 2, "Two");
         return bar;
       },
       {}, 2},
  };
  AddPlugins({"tp_s2"});
  for (const PlacementCase& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetPluginMenu();
    WriteSettings(dir_.path(), c.settings);
    Build(c.bar());
    HMENU expectedParent = GetMenu(hwnd_);
    for (int p : c.parentPath)
      expectedParent = GetSubMenu(expectedParent, p);
    HMENU parent = nullptr, popup = nullptr;
    int position = -1;
    ASSERT_TRUE(FindPluginPopup(GetMenu(hwnd_), &parent, &position, &popup));
    EXPECT_EQ(parent, expectedParent);
    EXPECT_EQ(position, c.position);
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }
}

TEST_F(PluginMenu, NoneComesFirstThenEachPluginInSearchOrderWithItsNameAndEntry)
{
  AddPlugins({"tp_s3", "tp_s2", "tp_s4", "tp_user"});
  LogWatch log;
  Build();
  HMENU popup = Popup();
  ASSERT_NE(popup, nullptr);
  const std::vector<Item> items = PopupItems(popup);
  const std::vector<std::string> order = SearchOrder(dir_.path());
  ASSERT_EQ(items.size(), order.size() + 1);

  EXPECT_EQ(items[0].id, 50000u);
  EXPECT_EQ(items[0].text, "None");
  EXPECT_EQ(items[0].data, 0u);
  EXPECT_TRUE(items[0].checked);

  const std::map<std::string, std::string> names = {{"tp_s3.rpi", "Test s3"}, {"tp_s2.rpi", "Test s2"},
                                                    {"tp_s4.rpi", "Test s4"}, {"tp_user.rpi", "Test user bits"}};
  std::vector<std::string> expectedLog = {"CreatePluginsMenu .\\menu.cpp 145 "};
  for (size_t i = 0; i < order.size(); ++i) {
    SCOPED_TRACE(order[i]);
    const Item& item = items[i + 1];
    EXPECT_EQ(item.id, 50001u + i);
    EXPECT_EQ(item.text, names.at(order[i]));
    EXPECT_FALSE(item.checked);
    const auto* entry = reinterpret_cast<const PluginEntry*>(item.data);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(std::string(entry->szPath), "plugins/" + order[i]);
    EXPECT_EQ(entry->hPluginModule, GetModuleHandleA((dir_ / "plugins\\" + order[i]).c_str()));
    expectedLog.push_back("Init dwItemData = " + std::to_string(item.data) + " Plugin name = " + item.text);
  }
  expectedLog.push_back("SetWindowLongPtr success .\\menu.cpp 214 ");
  EXPECT_EQ(log.Entries(), expectedLog);
  EXPECT_EQ(ItemText(GetSubMenu(GetMenu(hwnd_), 1), 1), Caption);
  EXPECT_EQ(GetWindowLongPtrA(hwnd_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&WindowProc));
  EXPECT_EQ(OriginalWindowProc(), &HostProc);
}

TEST_F(PluginMenu, DefaultFilterIsMatchedExactlyAndCaseSensitively)
{
  const struct {
    const char* setting;  // nullptr: absent
    const char* chosen;   // file, or nullptr for "None"
  } cases[] = {
      {"default_filter=plugins/tp_s3.rpi", "tp_s3.rpi"},
      {"default_filter=plugins/tp_s4.rpi", "tp_s4.rpi"},
      {"default_filter=plugins/TP_S3.RPI", nullptr},
      {"default_filter=tp_s3.rpi", nullptr},
      {"default_filter=plugins/missing.rpi", nullptr},
      {"default_filter=", nullptr},
      {nullptr, nullptr},
  };
  AddPlugins({"tp_s2", "tp_s3", "tp_s4"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting ? c.setting : "(absent)");
    SelectPlugin(nullptr);
    ForgetPluginMenu();
    WriteSettings(dir_.path(), c.setting ? std::vector<std::string>{c.setting} : std::vector<std::string>{});
    Build();
    std::vector<Item> items = PopupItems(Popup());
    const std::vector<std::string> order = SearchOrder(dir_.path());
    for (size_t i = 0; i < items.size(); ++i) {
      const bool shouldCheck = c.chosen ? i > 0 && order[i - 1] == c.chosen : i == 0;
      EXPECT_EQ(items[i].checked, shouldCheck) << items[i].text;
    }
    if (c.chosen) {
      const HMODULE module = GetModuleHandleA((dir_ / "plugins\\" + c.chosen).c_str());
      EXPECT_EQ(ActivePlugin(), module);
      EXPECT_EQ(CurrentActivation().module, module);  // activated
      EXPECT_EQ(CurrentActivation().scale, std::string(c.chosen) == "tp_s4.rpi" ? 4u : 3u);
    } else {
      EXPECT_EQ(ActivePlugin(), nullptr);
    }
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }
}

TEST_F(PluginMenu, WithoutAPluginsDirectoryThePopupIsEmptyButTheWindowIsSubclassed)
{
  Build();
  HMENU popup = Popup();
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(GetMenuItemCount(popup), 0);
  EXPECT_EQ(ActivePlugin(), nullptr);
  EXPECT_EQ(GetWindowLongPtrA(hwnd_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&WindowProc));
}

TEST_F(PluginMenu, AWindowWithoutAMenuBarGetsThePopupInItsSystemMenuAndTheConfiguredPlugin)
{
  AddPlugins({"tp_s3"});
  WriteSettings(dir_.path(), {"default_filter=plugins/tp_s3.rpi"});
  hwnd_ = CreateHostWindow(nullptr);
  RECT clientBefore = {};
  GetClientRect(hwnd_, &clientBefore);
  LogWatch log;
  CreatePluginsMenu(hwnd_);
  EXPECT_EQ(GetMenu(hwnd_), nullptr) << "no menu bar appears";
  RECT clientAfter = {};
  GetClientRect(hwnd_, &clientAfter);
  EXPECT_TRUE(EqualRect(&clientBefore, &clientAfter));
  EXPECT_EQ(GetWindowLongPtrA(hwnd_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&WindowProc));
  EXPECT_EQ(ActivePlugin(), GetModuleHandleA((dir_ / "plugins\\tp_s3.rpi").c_str()));

  // The system menu ends with a separator and the popup: None, then the plugin, each
  // under an identifier whose low four bits are clear.
  HMENU system = GetSystemMenu(hwnd_, FALSE);
  const int count = GetMenuItemCount(system);
  ASSERT_GE(count, 2);
  EXPECT_EQ(GetMenuState(system, count - 2, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
  EXPECT_EQ(ItemText(system, count - 1), Caption);
  HMENU popup = GetSubMenu(system, count - 1);
  ASSERT_EQ(popup, WindowPluginPopup(hwnd_));
  const std::vector<Item> items = PopupItems(popup);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].id, 50000u);
  EXPECT_FALSE(items[0].checked);
  EXPECT_EQ(items[1].id, 50016u);
  EXPECT_EQ(items[1].text, "Test s3");
  EXPECT_TRUE(items[1].checked);
  const std::vector<std::string> lines = log.Entries();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], Expected(LogPoints::CreatePluginsMenu));
  EXPECT_EQ(lines[1], Expected(LogPoints::SystemMenuPopup));
  EXPECT_EQ(lines.back(), Expected(LogPoints::SubclassSuccess));
}

TEST_F(PluginMenu, SystemCommandsOtherThanOurItemsReachTheHostUntouched)
{
  AddPlugins({"tp_s2"});
  hwnd_ = CreateHostWindow(nullptr);
  CreatePluginsMenu(hwnd_);
  // A host item of its own in the system menu, with an identifier in our range.
  AppendMenuA(GetSystemMenu(hwnd_, FALSE), MF_STRING, 50048, "Host item");
  const struct {
    WPARAM wParam;
    bool ours;
  } cases[] = {{WM_USER, false},   {50048, false}, {50016, true},  {50016 | 0x2, true},
               {50000, true},      {0xF000 | 0x10, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wParam);
    HostReceived.clear();
    SendMessageA(hwnd_, WM_SYSCOMMAND, c.wParam, 0x77);
    EXPECT_EQ(HostReceived.size(), c.ours ? 0u : 1u);
    if (!c.ours && HostReceived.size() == 1) {
      EXPECT_EQ(HostReceived[0].wParam, c.wParam);
      EXPECT_EQ(HostReceived[0].lParam, 0x77);
    }
  }
  EXPECT_EQ(ActivePlugin(), nullptr) << "None came last";
  EXPECT_EQ(Setting("default_filter"), "");
}

TEST_F(PluginMenu, AWindowWithNeitherMenuBarNorSystemMenuGetsThePluginAndTheSubclass)
{
  AddPlugins({"tp_s3"});
  WriteSettings(dir_.path(), {"default_filter=plugins/tp_s3.rpi"});
  hwnd_ = MakeTestWindow(HostProc, WS_POPUP);
  CreatePluginsMenu(hwnd_);
  EXPECT_EQ(WindowPluginPopup(hwnd_), nullptr);
  EXPECT_TRUE(WindowHasPluginsMenu(hwnd_));
  EXPECT_EQ(GetWindowLongPtrA(hwnd_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&WindowProc));
  EXPECT_EQ(ActivePlugin(), GetModuleHandleA((dir_ / "plugins\\tp_s3.rpi").c_str()));
  // The key goes on to None (the only other item).
  SendMessageA(hwnd_, WM_KEYDOWN, VK_SCROLL, 1);
  EXPECT_EQ(ActivePlugin(), nullptr);
  EXPECT_EQ(Setting("default_filter"), "");
}

TEST_F(PluginMenu, ALaterWindowIsSetUpOnceWithoutReadingTheSettingsAgain)
{
  AddPlugins({"tp_s2"});
  Build();
  HWND second = CreateHostWindow(TypicalMenuBar());
  WriteSettings(dir_.path(), {"default_filter=plugins/tp_s2.rpi"});
  AddPluginsMenu(second);
  AddPluginsMenu(second);
  HMENU parent, popup;
  int position;
  ASSERT_TRUE(FindPluginPopup(GetMenu(second), &parent, &position, &popup));
  EXPECT_EQ(GetMenuItemCount(popup), 2) << "one set of items";
  int popups = 0;
  for (int i = 0; i < GetMenuItemCount(parent); ++i)
    popups += ItemText(parent, i) == Caption;
  EXPECT_EQ(popups, 1) << "one popup";
  EXPECT_EQ(ActivePlugin(), nullptr) << "default_filter is the first window's business";
  // A choice in the second window moves the marks of both.
  SendMessageA(second, WM_COMMAND, MAKEWPARAM(50001, 0), 0);
  EXPECT_TRUE(PopupItems(popup)[1].checked);
  EXPECT_TRUE(PopupItems(Popup())[1].checked);
  EXPECT_FALSE(PopupItems(Popup())[0].checked);
  DestroyWindow(second);
  EXPECT_FALSE(WindowHasPluginsMenu(second));
}

TEST_F(PluginMenu, FilesThatAreNoUsablePluginsGetNoItemAndTheOthersKeepTheirs)
{
  AddPlugins({"tp_s2", "bad_notadll", "bad_noinfo", "bad_nullinfo", "bad_unterminated", "tp_s3"});
  WriteSettings(dir_.path(), {"default_filter=plugins/bad_nullinfo.rpi"});
  LogWatch log;
  Build();
  const std::vector<Item> items = PopupItems(Popup());
  std::vector<std::string> usable;
  for (const std::string& file : SearchOrder(dir_.path()))
    if (file == "tp_s2.rpi" || file == "tp_s3.rpi" || file == "bad_unterminated.rpi")
      usable.push_back(file);
  ASSERT_EQ(items.size(), usable.size() + 1);
  for (size_t i = 0; i < usable.size(); ++i) {
    SCOPED_TRACE(usable[i]);
    EXPECT_EQ(items[i + 1].id, 50001u + i);
    const auto* entry = reinterpret_cast<const PluginEntry*>(items[i + 1].data);
    EXPECT_EQ(std::string(entry->szPath), "plugins/" + usable[i]);
    if (usable[i] == "bad_unterminated.rpi") {
      EXPECT_EQ(items[i + 1].text, std::string(60, 'U')) << "never read past the 60 name bytes";
    }
  }
  // The chosen file has no descriptor: it was not activated.
  EXPECT_EQ(ActivePlugin(), nullptr);
  EXPECT_TRUE(items[0].checked);

  const std::vector<std::string> lines = log.Entries();
  auto logged = [&](const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
  };
  EXPECT_TRUE(logged("Plugin without RenderPluginGetInfo: plugins/bad_noinfo.rpi"));
  EXPECT_TRUE(logged("Plugin without descriptor: plugins/bad_nullinfo.rpi"));
  bool notLoaded = false;
  for (const std::string& line : lines)
    notLoaded |= line.rfind("Plugin not loaded: plugins/bad_notadll.rpi Err = ", 0) == 0;
  EXPECT_TRUE(notLoaded);
  // Files without an item are not kept loaded.
  EXPECT_EQ(GetModuleHandleA((dir_ / "plugins\\bad_noinfo.rpi").c_str()), nullptr);
}

// ---- the window procedure ----

class WindowProcedure : public PluginMenu {
 protected:
  void SetUp() override
  {
    PluginMenu::SetUp();
    AddPlugins({"tp_s2", "tp_s3", "tp_s4"});
    Build();
    order_ = SearchOrder(dir_.path());
    HostReceived.clear();
  }
  UINT IdOf(const std::string& file)
  {
    for (size_t i = 0; i < order_.size(); ++i)
      if (order_[i] == file)
        return static_cast<UINT>(50001 + i);
    return 0;
  }
  HMODULE ModuleOf(const std::string& file) { return GetModuleHandleA((dir_ / "plugins\\" + file).c_str()); }
  UINT Checked()
  {
    for (const Item& item : PopupItems(Popup()))
      if (item.checked)
        return item.id;
    return 0;
  }
  LRESULT Command(WPARAM wParam) { return SendMessageA(hwnd_, WM_COMMAND, wParam, 0); }

  std::vector<std::string> order_;
};

TEST_F(WindowProcedure, AMenuChoiceSwitchesThePluginMovesTheMarkAndRemembersIt)
{
  const UINT s3 = IdOf("tp_s3.rpi"), s4 = IdOf("tp_s4.rpi");
  LogWatch log;
  EXPECT_EQ(Command(MAKEWPARAM(s3, 0)), HostResult(WM_COMMAND));
  EXPECT_EQ(ActivePlugin(), ModuleOf("tp_s3.rpi"));
  EXPECT_EQ(CurrentActivation().scale, 3u);
  EXPECT_EQ(Checked(), s3);
  EXPECT_EQ(Setting("default_filter"), "plugins/tp_s3.rpi");
  std::vector<std::string> expected = {
      "WindowProc .\\menu.cpp 38 ",
      "Message = 273",
      "WM_COMMAND==uMsg .\\menu.cpp 78 ",
      "50000<=LOWORD(wParam) .\\menu.cpp 83 ",
  };
  std::vector<std::string> lines = log.Entries();
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4), expected);
  EXPECT_EQ(lines[4].rfind("dwItemData = ", 0), 0u);
  EXPECT_EQ(lines[5], "InitPlugin .\\functions.cpp 157 ");
  EXPECT_EQ(lines[6], "InitPlugin success .\\functions.cpp 212 ");

  Command(MAKEWPARAM(s4, 0));
  EXPECT_EQ(ActivePlugin(), ModuleOf("tp_s4.rpi"));
  EXPECT_EQ(CurrentActivation().scale, 4u);
  EXPECT_EQ(Checked(), s4);
  EXPECT_EQ(Setting("default_filter"), "plugins/tp_s4.rpi");

  // Choosing the checked item again activates it again.
  LogWatch again;
  Command(MAKEWPARAM(s4, 0));
  lines = again.Entries();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "InitPlugin success .\\functions.cpp 212 "), lines.end());
  EXPECT_EQ(Checked(), s4);

  Command(MAKEWPARAM(50000, 0));
  EXPECT_EQ(ActivePlugin(), nullptr);
  EXPECT_EQ(Checked(), 50000u);
  EXPECT_EQ(Setting("default_filter"), "");
  EXPECT_NE(ReadFileBytes(dir_ / "filters.ini").find("default_filter=\r\n"), std::string::npos);
}

TEST_F(WindowProcedure, AcceleratorsLowIdentifiersAndForeignItemsAreNoChoice)
{
  // A host item with a high identifier and item data of its own, in the host's menu.
  HMENU bar = GetMenu(hwnd_);
  MENUITEMINFOA hostItem = {};
  hostItem.cbSize = sizeof hostItem;
  hostItem.fMask = MIIM_ID | MIIM_DATA | MIIM_TYPE;
  hostItem.fType = MFT_STRING;
  hostItem.wID = 60000;
  hostItem.dwItemData = 0x1234;
  char text[] = "Host";
  hostItem.dwTypeData = text;
  InsertMenuItemA(bar, GetMenuItemCount(bar), TRUE, &hostItem);
  MENUITEMINFOA hostNone = hostItem;
  hostNone.wID = 60001;
  hostNone.dwItemData = 0;
  InsertMenuItemA(bar, GetMenuItemCount(bar), TRUE, &hostNone);

  const UINT s3 = IdOf("tp_s3.rpi");
  Command(MAKEWPARAM(s3, 0));
  ASSERT_EQ(ActivePlugin(), ModuleOf("tp_s3.rpi"));
  HostReceived.clear();

  const struct {
    const char* name;
    WPARAM wParam;
    bool choiceLine;  // "50000<=LOWORD(wParam)" expected
  } cases[] = {
      {"accelerator", MAKEWPARAM(IdOf("tp_s4.rpi"), 1), false},
      {"identifier 49999", MAKEWPARAM(49999, 0), false},
      {"host item 60000 with data", MAKEWPARAM(60000, 0), true},
      {"host item 60001 with data 0", MAKEWPARAM(60001, 0), true},
      {"no such item 50100", MAKEWPARAM(50100, 0), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HostReceived.clear();
    LogWatch log;
    EXPECT_EQ(Command(c.wParam), HostResult(WM_COMMAND));
    EXPECT_EQ(ActivePlugin(), ModuleOf("tp_s3.rpi"));
    EXPECT_EQ(Checked(), s3);
    EXPECT_EQ(Setting("default_filter"), "plugins/tp_s3.rpi");
    ASSERT_EQ(HostReceived.size(), 1u);
    EXPECT_EQ(HostReceived[0].wParam, c.wParam);
    const std::vector<std::string> lines = log.Entries();
    const bool choiceLine =
        std::find(lines.begin(), lines.end(), "50000<=LOWORD(wParam) .\\menu.cpp 83 ") != lines.end();
    EXPECT_EQ(choiceLine, c.choiceLine);
    for (const std::string& line : lines) {
      EXPECT_NE(line.rfind("InitPlugin", 0), 0u) << line;
    }
  }
}

TEST_F(WindowProcedure, SizingCursorPerHitTestCode)
{
  const struct {
    WPARAM hit;
    LPCSTR cursor;  // nullptr: no change
  } cases[] = {
      {HTTOP, IDC_SIZENS},        {HTBOTTOM, IDC_SIZENS},       {HTLEFT, IDC_SIZEWE},
      {HTRIGHT, IDC_SIZEWE},      {HTTOPLEFT, IDC_SIZENWSE},    {HTBOTTOMRIGHT, IDC_SIZENWSE},
      {HTTOPRIGHT, IDC_SIZENESW}, {HTBOTTOMLEFT, IDC_SIZENESW}, {HTCAPTION, nullptr},
      {HTCLIENT, nullptr},        {HTBORDER, nullptr},
  };
  HCURSOR before = LoadCursorA(nullptr, IDC_CROSS);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hit);
    SetCursor(before);
    SendMessageA(hwnd_, WM_NCMOUSEMOVE, c.hit, MAKELPARAM(5, 5));
    EXPECT_EQ(GetCursor(), c.cursor ? LoadCursorA(nullptr, c.cursor) : before);
  }
}

TEST_F(WindowProcedure, PlacementIsWrittenOnCloseAndOnEveryNonClientMouseMove)
{
  const struct {
    UINT msg;
    WPARAM wParam;
    RECT rect;
  } cases[] = {
      {WM_CLOSE, 0, {120, 80, 120 + 500, 80 + 350}},
      {WM_NCMOUSEMOVE, HTCAPTION, {-30, 40, -30 + 321, 40 + 222}},
      {WM_NCMOUSEMOVE, HTLEFT, {10, 20, 10 + 300, 20 + 200}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.msg);
    SetWindowPos(hwnd_, nullptr, c.rect.left, c.rect.top, c.rect.right - c.rect.left,
                 c.rect.bottom - c.rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT actual;
    GetWindowRect(hwnd_, &actual);
    SendMessageA(hwnd_, c.msg, c.wParam, 0);
    EXPECT_EQ(Setting("left"), std::to_string(actual.left));
    EXPECT_EQ(Setting("top"), std::to_string(actual.top));
    EXPECT_EQ(Setting("width"), std::to_string(actual.right - actual.left));
    EXPECT_EQ(Setting("height"), std::to_string(actual.bottom - actual.top));
    EXPECT_EQ(actual.left, c.rect.left);
  }
}

TEST_F(WindowProcedure, EveryMessageReachesTheHostUnchangedAndItsResultComesBack)
{
  const struct {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
  } cases[] = {
      {WM_USER + 5, 0x1234, 0x5678},
      {WM_CLOSE, 0, 0},
      {WM_NCMOUSEMOVE, HTTOP, MAKELPARAM(7, 9)},
      {WM_COMMAND, MAKEWPARAM(40001, 0), 0},
      {WM_COMMAND, MAKEWPARAM(IdOf("tp_s2.rpi"), 0), 0},
      {WM_COMMAND, MAKEWPARAM(50000, 0), 0x77},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.msg);
    HostReceived.clear();
    LogWatch log;
    EXPECT_EQ(SendMessageA(hwnd_, c.msg, c.wParam, c.lParam), HostResult(c.msg));
    ASSERT_EQ(HostReceived.size(), 1u);
    EXPECT_EQ(HostReceived[0].msg, c.msg);
    EXPECT_EQ(HostReceived[0].wParam, c.wParam);
    EXPECT_EQ(HostReceived[0].lParam, c.lParam);
    const std::vector<std::string> lines = log.Entries();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "WindowProc .\\menu.cpp 38 ");
    EXPECT_EQ(lines[1], "Message = " + std::to_string(c.msg));
  }
}

}  // namespace
