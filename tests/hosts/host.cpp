// A Direct3D 9 host program for the end-to-end tests. Like a game, it imports
// d3d9.dll by name, so the loader takes the d3d9.dll beside it. It runs the commands
// given on its command line in order and prints what it observes as "key=value" lines.
//
//   create9[:SDK]    Direct3DCreate9(SDK); prints d3dN=, d3dN_module=
//   threads:N        starts N threads that end at once, and waits for them
//   window           creates a 640x480 (client) overlapped window with a menu bar
//                    (File: Exit 40001; Help: About 40022) and makes it current
//   popup            creates a popup window without WS_SYSMENU and makes it current
//   clientrect       GetClientRect on the current window, through this program's
//                    import: prints client=l,t,r,b and client_result=
//   clientrect_null  GetClientRect with a null rectangle: prints clientrect_null=
//   setpos:X,Y,W,H   SetWindowPos through this program's import (no Z order change,
//                    no activation): prints setpos=, rect=l,t,r,b, style=
//   slots            for the GetClientRect and SetWindowPos import slots: the module
//                    each points into (slot_NAME=) and its page protection (prot_NAME=)
#include <windows.h>
#include <d3d9.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static std::vector<IDirect3D9*> Interfaces;

static void Print(const char* key, const std::string& value)
{
  std::printf("%s=%s\n", key, value.c_str());
  std::fflush(stdout);
}

static std::string Hex(const void* p)
{
  char text[32];
  std::snprintf(text, sizeof text, "%p", p);
  return text;
}

// The file name of the module that holds the given address.
static std::string ModuleOf(const void* address)
{
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCSTR>(address), &module))
    return "none";
  char path[MAX_PATH];
  GetModuleFileNameA(module, path, MAX_PATH);
  return path;
}

static std::string Arg(const std::string& command)
{
  const size_t colon = command.find(':');
  return colon == std::string::npos ? "" : command.substr(colon + 1);
}

static void Create9(const std::string& arg)
{
  const UINT sdk = arg.empty() ? D3D_SDK_VERSION : static_cast<UINT>(std::strtoul(arg.c_str(), nullptr, 0));
  IDirect3D9* d3d = Direct3DCreate9(sdk);
  const std::string n = std::to_string(Interfaces.size());
  Print(("d3d" + n).c_str(), Hex(d3d));
  if (d3d) {
    void* const* vtbl = *reinterpret_cast<void* const* const*>(d3d);
    Print(("d3d" + n + "_module").c_str(), ModuleOf(vtbl[0]));
    Interfaces.push_back(d3d);
  }
}

static HWND Window = nullptr;

static void Pump()
{
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

static LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

static std::string RectText(const RECT& r)
{
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

static std::vector<int> Numbers(const std::string& arg)
{
  std::vector<int> numbers;
  const char* p = arg.c_str();
  while (*p) {
    char* end;
    numbers.push_back(static_cast<int>(std::strtol(p, &end, 0)));
    p = *end ? end + 1 : end;
  }
  return numbers;
}

static void CreateHostWindow(bool overlapped)
{
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "TestHost";
    RegisterClassA(&wc);
    registered = true;
  }
  HMENU bar = nullptr;
  DWORD style = WS_POPUP | WS_VISIBLE;
  RECT rect = {0, 0, 640, 480};
  if (overlapped) {
    bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, 40001, "Exit");
    HMENU help = CreatePopupMenu();
    AppendMenuA(help, MF_STRING, 40022, "About");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "File");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "Help");
    style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    AdjustWindowRect(&rect, style, TRUE);
  }
  Window = CreateWindowA("TestHost", "test host", style, 50, 50, rect.right - rect.left,
                         rect.bottom - rect.top, nullptr, bar, GetModuleHandleA(nullptr), nullptr);
  Pump();
  Print("window", Hex(Window));
}

static void ClientRect()
{
  RECT r = {-1, -1, -1, -1};
  const BOOL result = GetClientRect(Window, &r);
  Print("client", RectText(r));
  Print("client_result", std::to_string(result));
}

static void SetPos(const std::string& arg)
{
  const std::vector<int> n = Numbers(arg);
  const BOOL result = SetWindowPos(Window, nullptr, n.at(0), n.at(1), n.at(2), n.at(3),
                                   SWP_NOZORDER | SWP_NOACTIVATE);
  Pump();
  RECT r;
  GetWindowRect(Window, &r);
  char style[16];
  std::snprintf(style, sizeof style, "0x%08lx", static_cast<unsigned long>(GetWindowLongA(Window, GWL_STYLE)));
  Print("setpos", std::to_string(result));
  Print("rect", RectText(r));
  Print("style", style);
}

// This program's own import slots for GetClientRect and SetWindowPos, found by name.
static void Slots()
{
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
      base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
  for (; desc->Name; ++desc) {
    auto* names = reinterpret_cast<ULONG_PTR*>(base + desc->OriginalFirstThunk);
    auto* slots = reinterpret_cast<ULONG_PTR*>(base + desc->FirstThunk);
    for (int j = 0; names[j]; ++j) {
      if (IMAGE_SNAP_BY_ORDINAL(names[j]))
        continue;
      const std::string function = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names[j])->Name;
      if (function != "GetClientRect" && function != "SetWindowPos")
        continue;
      MEMORY_BASIC_INFORMATION info = {};
      VirtualQuery(&slots[j], &info, sizeof info);
      Print(("slot_" + function).c_str(), ModuleOf(reinterpret_cast<void*>(slots[j])));
      Print(("prot_" + function).c_str(), std::to_string(info.Protect));
    }
  }
}

static DWORD WINAPI EmptyThread(LPVOID) { return 0; }

static void Threads(const std::string& arg)
{
  for (int i = 0; i < std::atoi(arg.c_str()); ++i) {
    HANDLE thread = CreateThread(nullptr, 0, EmptyThread, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
}

int main(int argc, char** argv)
{
  Print("started", "1");
  char proxy[MAX_PATH] = "none";
  GetModuleFileNameA(GetModuleHandleA("d3d9.dll"), proxy, MAX_PATH);
  Print("proxy", proxy);
  char cwd[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, cwd);
  Print("cwd", cwd);
  for (int i = 1; i < argc; ++i) {
    const std::string command = argv[i];
    const std::string name = command.substr(0, command.find(':'));
    if (name == "create9") {
      Create9(Arg(command));
    } else if (name == "threads") {
      Threads(Arg(command));
    } else if (name == "window") {
      CreateHostWindow(true);
    } else if (name == "popup") {
      CreateHostWindow(false);
    } else if (name == "clientrect") {
      ClientRect();
    } else if (name == "clientrect_null") {
      Print("clientrect_null", std::to_string(GetClientRect(Window, nullptr)));
    } else if (name == "setpos") {
      SetPos(Arg(command));
    } else if (name == "slots") {
      Slots();
    } else {
      Print("error", "unknown command " + command);
      return 2;
    }
  }
  for (IDirect3D9* d3d : Interfaces)
    d3d->Release();
  Print("done", "1");
  return 0;
}
