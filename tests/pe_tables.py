#!/usr/bin/env python3
"""Checks the PE tables of the built d3d9.dll: the module export name is d3d9.dll,
Direct3DCreate9 is exported by name at ordinal 1, the other functions of the system's
d3d9.dll are exported by their undecorated names and nothing else is, and every
imported DLL is a Windows system DLL (no MinGW runtime DLL that users do not have).

usage: pe_tables.py OBJDUMP DLL
"""
import re
import subprocess
import sys

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "winmm.dll", "imagehlp.dll",
               "msvcrt.dll", "advapi32.dll", "ntdll.dll"}
EXPORTS = {"Direct3DCreate9", "Direct3DCreate9Ex", "D3DPERF_BeginEvent", "D3DPERF_EndEvent",
           "D3DPERF_SetMarker", "D3DPERF_SetRegion", "D3DPERF_QueryRepeatFrame",
           "D3DPERF_SetOptions", "D3DPERF_GetStatus", "Direct3DShaderValidatorCreate9",
           "PSGPError", "PSGPSampleTexture", "DebugSetMute", "DebugSetLevel",
           "Direct3D9EnableMaximizedWindowedModeShim"}
RUNTIME_DLLS = re.compile(r"^(libgcc|libstdc\+\+|libwinpthread|libssp)", re.I)


def main():
    objdump, dll = sys.argv[1], sys.argv[2]
    text = subprocess.run([objdump, "-p", dll], check=True, capture_output=True,
                          text=True).stdout
    failures = []

    exports = text.split("The Export Tables", 1)
    if len(exports) < 2:
        failures.append("no export table")
    else:
        table = exports[1].split("The Function Table", 1)[0].split("The Import Tables", 1)[0]
        name = re.search(r"^Name\s+\S+\s+(\S+)", table, re.M)
        if not name or name.group(1) != "d3d9.dll":
            failures.append("module export name is %r, not d3d9.dll" % (name and name.group(1)))
        base = re.search(r"^Ordinal Base\s+(\d+)", table, re.M)
        if not base or base.group(1) != "1":
            failures.append("ordinal base is %r, not 1" % (base and base.group(1)))
        addresses = re.findall(r"^\s+\[\s*\d+\] \+base\[\s*(\d+)\]", table, re.M)
        # "[ index] name": the index into the address table, ordinal = index + base.
        named = re.findall(r"^\s+\[\s*(\d+)\] (\S+)\s*$",
                           table.split("[Ordinal/Name Pointer] Table", 1)[-1], re.M)
        names = [n for _, n in named]
        ordinal_of = {n: int(i) + 1 for i, n in named}
        if sorted(int(a) for a in addresses) != list(range(1, len(EXPORTS) + 1)):
            failures.append("export ordinals are %r, not 1 to %d" % (addresses, len(EXPORTS)))
        if sorted(names) != sorted(EXPORTS):
            failures.append("export names are %r, not exactly %r" % (sorted(names), sorted(EXPORTS)))
        if ordinal_of.get("Direct3DCreate9") != 1:
            failures.append("Direct3DCreate9 is at ordinal %r, not 1" % ordinal_of.get("Direct3DCreate9"))
        for n in names:
            if "@" in n or n.startswith("_"):
                failures.append("export %s is decorated" % n)

    imports = [n.lower() for n in re.findall(r"DLL Name: (\S+)", text)]
    for imported in imports:
        if RUNTIME_DLLS.match(imported):
            failures.append("imports the runtime DLL " + imported)
        elif imported not in SYSTEM_DLLS:
            failures.append("imports %s, which is not a Windows system DLL" % imported)

    print("%s: imports %s" % (dll, ", ".join(imports)))
    for failure in failures:
        print("FAIL: " + failure)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
