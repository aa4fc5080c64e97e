// A host whose user32 imports take a shape chosen at build time (see the import
// libraries in imports/). It imports d3d9.dll, so the library is loaded and patches
// the imports before main runs, and then prints what it finds in its own import table:
//   slot=<descriptor>:<function>:<module>    every GetClientRect and SetWindowPos slot,
//                                            with the module its address lies in
//   prot=<descriptor>:<function>:<protection> the page protection of that slot
#include <windows.h>
#include <d3d9.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "import_slots.h"

#ifdef IH_GETCLIENTRECT_AGAIN
extern "C" BOOL WINAPI GetClientRectAgain(HWND, LPRECT);
#endif

// Each referenced function gets an import slot; the calls are never made.
static void* volatile References[] = {
    reinterpret_cast<void*>(&Direct3DCreate9),
#ifdef IH_GETCLIENTRECT
    reinterpret_cast<void*>(&GetClientRect),
#endif
#ifdef IH_GETCLIENTRECT_AGAIN
    reinterpret_cast<void*>(&GetClientRectAgain),
#endif
#ifdef IH_SETWINDOWPOS
    reinterpret_cast<void*>(&SetWindowPos),
#endif
};

static std::string ModuleOf(ULONG_PTR address)
{
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(address), &module))
    return "none";
  char path[MAX_PATH];
  GetModuleFileNameA(module, path, MAX_PATH);
  const char* slash = std::strrchr(path, '\\');
  std::string name = slash ? slash + 1 : path;
  for (char& c : name)
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return name;
}

int main()
{
  (void)References;
  ForEachWindowSizeImport([](int i, const char*, const char* function, ULONG_PTR* slot) {
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(slot, &info, sizeof info);
    std::printf("slot=%d:%s:%s\n", i, function, ModuleOf(*slot).c_str());
    std::printf("prot=%d:%s:%lu\n", i, function, info.Protect);
  });
  std::printf("done=1\n");
  return 0;
}
