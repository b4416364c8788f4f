#!/usr/bin/env python3
"""Texts of the release packages, written at build time.

  windows SRC DST [NAME=VALUE ...]
      SRC with each @NAME@ replaced, as UTF-8 with a byte-order mark and CRLF
      line ends, the form Windows Notepad always shows right.
  sections SRC DST HEADING ...
      The title and the named "## " sections of a Markdown file, in order.
  notices DST MINGW_COPYRIGHT GCC_COPYRIGHT SQLITE_HEADER
      The third-party notices of the Windows binaries: SQLite's dedication
      from its own header, and the licenses of the MinGW-w64 runtime,
      winpthreads, libgcc and libstdc++ from their Debian packages' copyright
      files, as a Windows text.
"""
import re
import sys


def write_windows_text(path, text):
    text = text.replace("\r\n", "\n").replace("\n", "\r\n")
    with open(path, "w", encoding="utf-8-sig", newline="") as out:
        out.write(text)


def windows(src, dst, *definitions):
    with open(src, encoding="utf-8") as source:
        text = source.read()
    for definition in definitions:
        name, value = definition.split("=", 1)
        text = text.replace("@" + name + "@", value)
    left = re.search(r"@[A-Z_]+@", text)
    if left:
        sys.exit(f"{src}: {left.group(0)} has no value")
    write_windows_text(dst, text)


def sections(src, dst, *headings):
    with open(src, encoding="utf-8") as source:
        text = source.read()
    parts = re.split(r"(?m)^(?=## )", text)
    found = {part.splitlines()[0][3:].strip(): part for part in parts[1:]}
    missing = [heading for heading in headings if heading not in found]
    if missing:
        sys.exit(f"{src}: no section {', '.join(missing)}")
    with open(dst, "w", encoding="utf-8", newline="\n") as out:
        out.write(parts[0] + "".join(found[heading] for heading in headings))


def span(text, start, end, source):
    """The lines from the one starting with `start` up to, not including, the
    first later one starting with `end`."""
    match = re.search(r"(?ms)^" + re.escape(start) + r".*?(?=^" + re.escape(end) + r")", text)
    if not match:
        sys.exit(f"{source}: no text from '{start}' to '{end}'")
    return match.group(0).rstrip() + "\n"


# Parts of mingw-w64 that end up in a statically linked module: the C runtime
# and the POSIX threads library (its tests do not).
def linked_mingw_files(files):
    return any(pattern == "*" or
               (pattern.startswith(("mingw-w64-crt/", "mingw-w64-libraries/winpthreads/")) and
                not pattern.startswith("mingw-w64-libraries/winpthreads/tests_pthread/"))
               for pattern in files)


def mingw_notices(path):
    """The machine-readable copyright file's paragraphs for what is linked, and
    the stand-alone license texts they refer to by name."""
    with open(path, encoding="utf-8") as source:
        paragraphs = [part.strip() for part in re.split(r"\n[ \t]*\n", source.read()) if part.strip()]
    chosen, licenses, needed = [], {}, []
    for paragraph in paragraphs:
        fields = re.findall(r"(?m)^([A-Za-z-]+):[ \t]*(.*)$", paragraph)
        names = dict(fields)
        if "Files" in names:
            continuation = re.search(r"(?ms)^Files:(.*?)(?=^\S)", paragraph + "\nEnd:")
            files = continuation.group(1).split()
            if not linked_mingw_files(files):
                continue
            chosen.append(paragraph)
            license_line = paragraph.split("\nLicense:", 1)[1].split("\n", 1)
            inline = len(license_line) > 1 and license_line[1].startswith(" ")
            if not inline:
                needed += re.split(r"\s+(?:and|or)\s+", license_line[0].strip())
        elif "License" in names and not paragraph.startswith(("Format:", "Upstream")):
            licenses[paragraph.split("\n", 1)[0][len("License:"):].strip()] = paragraph
    if not chosen:
        sys.exit(f"{path}: no paragraph for the C runtime or winpthreads")
    for name in dict.fromkeys(needed):
        if name not in licenses:
            sys.exit(f"{path}: no text for the license {name}")
        chosen.append(licenses[name])
    return "\n\n".join(chosen) + "\n"


def notices(dst, mingw, gcc, sqlite_header):
    with open(sqlite_header, encoding="utf-8") as source:
        header = source.read()
    version = re.search(r'(?m)^#define SQLITE_VERSION +"([^"]+)"', header)
    if not version:
        sys.exit(f"{sqlite_header}: no SQLITE_VERSION")
    dedication = span(header, "** The author disclaims copyright", "******", sqlite_header)
    dedication = re.sub(r"(?m)^\*\* ?", "", dedication)
    with open(gcc, encoding="utf-8") as source:
        gcc_text = source.read()
    gcc_parts = [
        span(gcc_text, "GCC is Copyright (C)", "The libbacktrace library", gcc),
        span(gcc_text, "GCC RUNTIME LIBRARY EXCEPTION", "libquadmath/", gcc),
    ]
    rule = "=" * 72 + "\n"
    text = (
        "Third-party software in vellumdb's Windows binaries\n" + rule +
        "\nvellumdb.qpl has these pieces linked in; the SDK's example plugin and\n"
        "stand-in player have the MinGW-w64 and GCC pieces. Their notices\n"
        "follow, each taken from the source named in its heading.\n\n" +
        rule + f"1. SQLite {version.group(1)}: the database engine (in vellumdb.qpl)\n"
        "   (from the SQLite amalgamation's sqlite3.h)\n" + rule + "\n" + dedication + "\n" +
        rule + "2. MinGW-w64: the C runtime and winpthreads\n"
        "   (from Debian's copyright file of mingw-w64-i686-dev)\n" + rule + "\n" +
        mingw_notices(mingw) + "\n" +
        rule + "3. GCC: libgcc and libstdc++, under the GCC Runtime Library Exception\n"
        "   (from Debian's copyright file of gcc-mingw-w64-i686-posix)\n" + rule + "\n" +
        "\n".join(gcc_parts))
    write_windows_text(dst, text)


COMMANDS = {"windows": windows, "sections": sections, "notices": notices}

if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1] not in COMMANDS:
        sys.exit(__doc__)
    COMMANDS[sys.argv[1]](*sys.argv[2:])
