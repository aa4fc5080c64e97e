// The test hosts' look at their own import table: every slot that imports
// GetClientRect or SetWindowPos by name, with the descriptor it belongs to.
#pragma once

#include <windows.h>

#include <cstring>

// Calls visit(descriptorIndex, moduleName, functionName, slot) for each such slot of
// this program's import table, in table order.
template <typename Visit>
void ForEachWindowSizeImport(Visit visit)
{
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
  for (int i = 0; desc[i].Name; ++i) {
    const char* module = reinterpret_cast<const char*>(base + desc[i].Name);
    auto* names = reinterpret_cast<ULONG_PTR*>(base + desc[i].OriginalFirstThunk);
    auto* slots = reinterpret_cast<ULONG_PTR*>(base + desc[i].FirstThunk);
    for (int j = 0; names[j]; ++j) {
      if (IMAGE_SNAP_BY_ORDINAL(names[j]))
        continue;
      const char* function = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names[j])->Name;
      if (std::strcmp(function, "GetClientRect") == 0 || std::strcmp(function, "SetWindowPos") == 0)
        visit(i, module, function, &slots[j]);
    }
  }
}
