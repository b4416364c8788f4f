#!/usr/bin/env python3
"""Runs the host's scenarios under Wine and checks its log against expectations.

Usage: run_host_tests.py BUILD_DIR [--only NAME] [--keep] [--bass PATH]

BUILD_DIR holds bin/host.exe, bin/bass.dll (the project's stand-in audio library) and
host-fixtures/fixture.qpl; --bass names another bass.dll to lay out instead.
The media are canonical 16-bit stereo 44100 Hz WAV files of silence. Each scenario is
scenarios/NAME.script with scenarios/NAME.expect. Header lines of the script:
  # args: ...        extra host arguments (before the script)
  # env: KEY=VALUE   environment for the host
  # exit: N          expected exit code (default 0)
  # layout: no-bass  lay the folder out without bass.dll
  # assert: EXPR     Python expression over the captured values
  # bmp: FILE W H    FILE (in the host folder) is a 24-bit BMP of captured size W x H
Each expectation line is matched, in order, against one log line. It is literal text
except for: {N} any integer, {N:name} an integer captured as name (a name captured
again must have the same value), {*} any text, {DIR} the host folder as Windows sees it. A line starting with "~" floats: it may turn
up anywhere before the second fixed line that follows it (for messages sent from the
audio library's sync thread, whose arrival is not ordered with the robot's lines).
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_RUN = os.path.normpath(os.path.join(HERE, "..", "..", "..", "tools", "wine-run"))
BYTES_PER_SECOND = 176400
TIMEOUT_SECONDS = 240

CUE_SHEET = """REM GENRE Rock
PERFORMER "Someone"
TITLE "Album"
FILE "album.wav" WAVE
  TRACK 01 AUDIO
    TITLE "最初の曲"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE "Second Song"
    INDEX 00 00:19:00
    INDEX 01 00:20:00
  TRACK 03 AUDIO
    INDEX 01 00:45:37
"""


def wav_file(path, data_bytes):
    """A canonical WAV file: 44-byte header, then data_bytes of silence (sparse)."""
    header = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + data_bytes, b"WAVE", b"fmt ", 16,
                         1, 2, 44100, BYTES_PER_SECOND, 4, 16, b"data", data_bytes)
    with open(path, "wb") as out:
        out.write(header)
        out.truncate(len(header) + data_bytes)


def make_media(folder):
    media = os.path.join(folder, "media")
    os.makedirs(media)
    wav_file(os.path.join(media, "song.wav"), 30 * BYTES_PER_SECOND)
    wav_file(os.path.join(media, "album.wav"), 60 * BYTES_PER_SECOND)
    for i in range(5):
        wav_file(os.path.join(media, "f%d.wav" % i), 1000)
    crlf = CUE_SHEET.replace("\n", "\r\n")
    with open(os.path.join(media, "album.cue"), "wb") as out:
        out.write(crlf.encode("utf-8"))
    with open(os.path.join(media, "bom.cue"), "wb") as out:
        out.write(b"\xef\xbb\xbf" + CUE_SHEET.encode("utf-8"))
    with open(os.path.join(media, "wide.cue"), "wb") as out:
        out.write(b"\xff\xfe" + crlf.encode("utf-16-le"))
    with open(os.path.join(media, "ansi.cue"), "wb") as out:
        out.write(CUE_SHEET.replace("最初の曲", "Caf\u00e9").encode("cp1252"))


def lay_out(build, folder, bass):
    os.makedirs(os.path.join(folder, "Plugins"))
    shutil.copy(os.path.join(build, "bin", "host.exe"), folder)
    fixtures = os.path.join(build, "host-fixtures")
    shutil.copy(os.path.join(fixtures, "fixture.qpl"), os.path.join(folder, "Plugins"))
    if bass:
        shutil.copy(bass, os.path.join(folder, "bass.dll"))
    make_media(folder)


def windows_path(folder):
    return "Z:" + folder.replace("/", "\\")


def read_headers(script_path):
    headers = {"args": [], "env": {}, "exit": 0, "layout": "", "assert": [], "bmp": []}
    with open(script_path, encoding="utf-8") as script:
        for line in script:
            match = re.match(r"#\s*(args|env|exit|layout|assert|bmp):\s*(.*)", line.strip())
            if not match:
                continue
            key, value = match.groups()
            if key == "args":
                headers["args"] += value.split()
            elif key == "env":
                name, _, setting = value.partition("=")
                headers["env"][name] = setting
            elif key == "exit":
                headers["exit"] = int(value)
            elif key in ("assert", "bmp"):
                headers[key].append(value)
            else:
                headers["layout"] = value
    return headers


def pattern_of(line, host_dir):
    parts = re.split(r"(\{N\}|\{N:\w+\}|\{\*\}|\{DIR\})", line)
    regex = ""
    for part in parts:
        if part == "{N}":
            regex += r"-?\d+"
        elif part.startswith("{N:"):
            regex += r"(?P<%s>-?\d+)" % part[3:-1]
        elif part == "{*}":
            regex += ".*"
        elif part == "{DIR}":
            regex += re.escape(host_dir)
        else:
            regex += re.escape(part)
    return re.compile(regex)


class Expectations:
    """Matches log lines in order; floating lines may slip past one fixed line."""

    def __init__(self, lines, host_dir):
        self.items = [(line.startswith("~"), pattern_of(line.lstrip("~"), host_dir), line)
                      for line in lines]
        self.captures = {}
        self.conflict = None

    def match(self, log):
        pending = []  # [pattern, text, fixed lines still allowed to pass]
        index = 0
        for number, text in enumerate(log, 1):
            while index < len(self.items) and self.items[index][0]:
                pending.append([self.items[index][1], self.items[index][2], 2])
                index += 1
            if self._take_floating(pending, text):
                if self.conflict:
                    return "line %d: %s" % (number, self.conflict)
                continue
            if index == len(self.items):
                return "line %d: unexpected %r" % (number, text)
            found = self.items[index][1].fullmatch(text)
            if not found:
                return "line %d: expected %r, got %r" % (number, self.items[index][2], text)
            self._capture(found)
            if self.conflict:
                return "line %d: %s" % (number, self.conflict)
            index += 1
            for item in pending:
                item[2] -= 1
                if item[2] == 0:
                    return "line %d: %r did not turn up in time" % (number, item[1])
        missing = [item[1] for item in pending] + [item[2] for item in self.items[index:]]
        return "missing %r" % missing[0] if missing else None

    def _take_floating(self, pending, text):
        for item in pending:
            found = item[0].fullmatch(text)
            if found:
                self._capture(found)
                pending.remove(item)
                return True
        return False

    def _capture(self, found):
        for name, value in found.groupdict().items():
            if self.captures.get(name, int(value)) != int(value):
                self.conflict = "%s is %s, was %d" % (name, value, self.captures[name])
            self.captures[name] = int(value)


def check_bmp(folder, entry, captures):
    name, width, height = entry.split()
    with open(os.path.join(folder, name), "rb") as image:
        data = image.read()
    if data[:2] != b"BM":
        return "%s is not a BMP" % name
    w, h, planes, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24 or (w, h) != (captures[width], captures[height]):
        return "%s: %dx%d %d-bit" % (name, w, h, bits)
    return None


def run_scenario(build, name, keep, bass):
    script = os.path.join(HERE, "scenarios", name + ".script")
    headers = read_headers(script)
    folder = tempfile.mkdtemp(prefix="host-" + name + "-")
    lay_out(build, folder, bass if headers["layout"] != "no-bass" else None)
    log_path = os.path.join(folder, "host.log")
    env = dict(os.environ, **headers["env"])
    started = time.time()
    command = [WINE_RUN, os.path.join(folder, "host.exe"), "--log", windows_path(log_path)]
    result = subprocess.run(command + headers["args"] + [windows_path(script)], env=env,
                            timeout=TIMEOUT_SECONDS, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    seconds = time.time() - started
    with open(log_path, encoding="utf-8") as log_file:
        log = log_file.read().splitlines()
    with open(os.path.join(HERE, "scenarios", name + ".expect"), encoding="utf-8") as expect_file:
        expectations = Expectations(expect_file.read().splitlines(), windows_path(folder))
    problem = expectations.match(log)
    if problem is None and result.returncode != headers["exit"]:
        problem = "exit code %d, expected %d" % (result.returncode, headers["exit"])
    for expression in headers["assert"]:
        if problem is None and not eval(expression, {}, dict(expectations.captures)):
            problem = "assertion failed: %s %r" % (expression, expectations.captures)
    for entry in headers["bmp"]:
        problem = problem or check_bmp(folder, entry, expectations.captures)
    if problem is not None:
        print("---- %s log:\n%s" % (name, "\n".join(log)))
    if not keep:
        shutil.rmtree(folder, ignore_errors=True)
    return problem, seconds


def main():
    args = sys.argv[1:]
    if not args or args[0].startswith("-"):
        print(__doc__)
        return 2
    build = os.path.abspath(args[0])
    keep = "--keep" in args
    only = args[args.index("--only") + 1] if "--only" in args else None
    bass = os.path.abspath(args[args.index("--bass") + 1]) if "--bass" in args else \
        os.path.join(build, "bin", "bass.dll")
    names = sorted(f[:-7] for f in os.listdir(os.path.join(HERE, "scenarios")) if f.endswith(".script"))
    failed = 0
    for name in names:
        if only and name != only:
            continue
        problem, seconds = run_scenario(build, name, keep, bass)
        print("%s %s (%.1f s)%s" % ("FAIL" if problem else "ok  ", name, seconds,
                                    ": " + problem if problem else ""))
        failed += problem is not None
    ran = len([n for n in names if not only or n == only])
    print("%d passed, %d failed" % (ran - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
