// A Direct3D 9 host program for the end-to-end tests. Like a game, it imports
// d3d9.dll by name, so the loader takes the d3d9.dll beside it. It runs the commands
// given on its command line in order and prints what it observes as "key=value" lines.
//
//   create9[:SDK]    Direct3DCreate9(SDK); prints d3dN=, d3dN_module=
//   threads:N        starts N threads that end at once, and waits for them
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
