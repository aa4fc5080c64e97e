#!/usr/bin/env python3
"""Checks the PE tables of built render plugins: each exports exactly the two
undecorated names RenderPluginGetInfo and RenderPluginOutput (no "_" prefix and no
"@N" suffix on i686), and imports only Windows system DLLs (no MinGW runtime DLL).

usage: plugin_pe_tables.py OBJDUMP PLUGIN.rpi...
"""
import re
import subprocess
import sys

EXPECTED_EXPORTS = ["RenderPluginGetInfo", "RenderPluginOutput"]
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll", "advapi32.dll",
               "ntdll.dll"}


def check(objdump, plugin):
    text = subprocess.run([objdump, "-p", plugin], check=True, capture_output=True,
                          text=True).stdout
    failures = []
    parts = text.split("The Export Tables", 1)
    names = []
    if len(parts) < 2:
        failures.append("no export table")
    else:
        table = parts[1].split("The Import Tables", 1)[0]
        names = re.findall(r"^\s+\[\s*\d+\] (\S+)\s*$",
                           table.split("[Ordinal/Name Pointer] Table", 1)[-1], re.M)
        if sorted(names) != EXPECTED_EXPORTS:
            failures.append("exports %r, not exactly %r" % (names, EXPECTED_EXPORTS))
    imports = [n.lower() for n in re.findall(r"DLL Name: (\S+)", text)]
    for imported in imports:
        if imported not in SYSTEM_DLLS:
            failures.append("imports %s, which is not a Windows system DLL" % imported)
    print("%s: exports %s; imports %s" % (plugin, ", ".join(names), ", ".join(imports)))
    for failure in failures:
        print("FAIL: " + failure)
    return not failures


def main():
    objdump, plugins = sys.argv[1], sys.argv[2:]
    if not plugins:
        print("FAIL: no plugin given")
        sys.exit(1)
    results = [check(objdump, plugin) for plugin in plugins]
    sys.exit(0 if all(results) else 1)


if __name__ == "__main__":
    main()
