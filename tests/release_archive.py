#!/usr/bin/env python3
"""Checks a release archive that scripts/build made, dist/d3d9filters-<arch>.zip,
against the build it came from:

- its listing, in this order (byte order of the names): d3d9.dll,
  d3d9filters-readme.txt, filters.ini, plugins/ and plugins/<name>.rpi for every
  plugin the build put in its bin/plugins, nothing else, nothing twice, no path
  that leaves the folder it is extracted into;
- every file's bytes: d3d9.dll and the plugins as built, filters.ini as in release/,
  the read-me as release/d3d9filters-readme.txt with a UTF-8 byte-order mark and
  CRLF line ends; the archive's CRCs;
- that the same files make the same archive: every entry dated alike, no extra
  fields (Unix times, owners), modes 644 for files and 755 for directories;
- that dist/<arch> holds exactly what the archive holds;
- that the read-me tells a player the essentials: the files, the menu, filters.ini
  and Wine's override.

usage: release_archive.py DIST_DIR ARCH BIN_DIR RELEASE_DIR
"""
import os
import stat
import sys
import zipfile

BOM = b"\xef\xbb\xbf"
README = "d3d9filters-readme.txt"
# What the read-me must tell a player, each as it is written there.
README_ESSENTIALS = [
    "d3d9.dll",
    "plugins\\",
    "filters.ini",
    "Плагины",
    "default_filter=plugins/",
    'WINEDLLOVERRIDES="d3d9=n,b"',
    "Never put d3d9.dll into a Windows system folder",
]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def expected_entries(bin_dir, release_dir):
    """The archive's names in order, each with the bytes it must hold (None for a
    directory)."""
    plugins_dir = os.path.join(bin_dir, "plugins")
    plugins = sorted(n for n in os.listdir(plugins_dir) if n.endswith(".rpi"))
    readme = read(os.path.join(release_dir, README))
    entries = {
        "d3d9.dll": read(os.path.join(bin_dir, "d3d9.dll")),
        README: BOM + readme.replace(b"\n", b"\r\n"),
        "filters.ini": read(os.path.join(release_dir, "filters.ini")),
        "plugins/": None,
    }
    for name in plugins:
        entries["plugins/" + name] = read(os.path.join(plugins_dir, name))
    return sorted(entries.items(), key=lambda item: item[0].encode()), plugins


def dist_listing(dist_arch):
    names = []
    for top, dirs, files in os.walk(dist_arch):
        rel = os.path.relpath(top, dist_arch)
        prefix = "" if rel == "." else rel.replace(os.sep, "/") + "/"
        names += [prefix + d + "/" for d in dirs]
        names += [prefix + f for f in files]
    return sorted(names, key=str.encode)


def check_readme(text, failures):
    if not text.startswith(BOM):
        failures.append("%s does not start with a UTF-8 byte-order mark" % README)
    body = text[len(BOM):]
    if body.replace(b"\r\n", b"").count(b"\n") or body.replace(b"\r\n", b"").count(b"\r"):
        failures.append("%s has line ends other than CRLF" % README)
    if not body.endswith(b"\r\n"):
        failures.append("%s does not end with a line end" % README)
    try:
        decoded = body.decode("utf-8")
    except UnicodeDecodeError as e:
        failures.append("%s is not UTF-8: %s" % (README, e))
        return
    for line_number, line in enumerate(decoded.split("\r\n"), 1):
        if len(line) > 78:
            failures.append("%s line %d is %d characters long (78 at most, for a window "
                            "without word wrap)" % (README, line_number, len(line)))
    for essential in README_ESSENTIALS:
        if essential not in decoded:
            failures.append("%s does not mention %s" % (README, essential))


def main():
    dist_dir, arch, bin_dir, release_dir = sys.argv[1:5]
    archive = os.path.join(dist_dir, "d3d9filters-%s.zip" % arch)
    if not os.path.isfile(archive):
        print("FAIL: no %s: scripts/build makes it" % archive)
        sys.exit(1)
    expected, plugins = expected_entries(bin_dir, release_dir)
    failures = []
    if not plugins:
        failures.append("the build has no plugins in %s/plugins" % bin_dir)

    with zipfile.ZipFile(archive) as z:
        infos = z.infolist()
        names = [i.filename for i in infos]
        print("%s: %d entries" % (archive, len(names)))
        for name in names:
            print("  " + name)
        wanted = [name for name, _ in expected]
        if names != wanted:
            failures.append("listing is %r, not %r" % (names, wanted))
        for name in names:
            parts = name.rstrip("/").split("/")
            if name.startswith("/") or "\\" in name or ".." in parts or ":" in name:
                failures.append("entry %r would leave the folder it is extracted into" % name)
        bad = z.testzip()
        if bad is not None:
            failures.append("entry %s fails its CRC check" % bad)

        contents = dict(expected)
        for info in infos:
            name = info.filename
            if name in contents and contents[name] is not None:
                data = z.read(info)
                if data != contents[name]:
                    failures.append("%s differs from the build's file (%d bytes, not %d)"
                                    % (name, len(data), len(contents[name])))
            if info.extra:
                failures.append("%s has extra fields (%d bytes): not made with -X" % (name, len(info.extra)))
            mode = info.external_attr >> 16
            want = 0o40755 if name.endswith("/") else 0o100644
            if mode != want:
                failures.append("%s has mode %o, not %o" % (name, mode, want))
        dates = sorted({i.date_time for i in infos})
        if len(dates) != 1:
            failures.append("entries are dated differently: %r" % dates)
        if README in contents and README in names:
            check_readme(z.read(README), failures)

    listed = dist_listing(os.path.join(dist_dir, arch))
    if listed != [name for name, _ in expected]:
        failures.append("dist/%s holds %r, not what the archive holds" % (arch, listed))

    for failure in failures:
        print("FAIL: " + failure)
    if failures:
        print("(after a build by other means than scripts/build, run scripts/build to "
              "remake dist/ and the archives)")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
