#!/usr/bin/env python3
"""Holds every #include "..." of the source tree to the house's floors, and fails the build on
one that crosses a floor the wrong way, naming the file, the line and the header.

Each folder may include the headers under the prefixes its rule lists (the longest folder that
holds a file gives its rule); a header is named by its path from the source tree's root, or
relative to the including file. System headers (<...>) are not looked at, nor are the tests,
which include what they test.

usage: check-floors.py SOURCE-DIR [STAMP]
"""

import os
import re
import sys

# What the shared platform headers are: the seam, and the facts both layers share.
SEAM = ["platform/platform.h"]
PLATFORM_SHARED = ["platform/platform.h", "platform/phone_only.h", "platform/box_answers.h",
                   "platform/clock_text.h", "platform/utf8.h", "platform/dialog_script.h",
                   "platform/phone/"]
CONTROL = ["platform/phone/control.h"]

# folder -> the header prefixes it may include (its own folder always).
RULES = {
    "radio/": SEAM,
    "schedule/": SEAM + ["radio/"],
    "app/": SEAM + ["radio/", "schedule/"],
    # The seam picks the layer; its own folder's shared headers and the phone's rules.
    "platform/": PLATFORM_SHARED + ["platform/host/win32_", "platform/win32/phone_rules.h"],
    "platform/phone/": PLATFORM_SHARED,
    "platform/host/": PLATFORM_SHARED,
    "platform/win32/": PLATFORM_SHARED,
    # Tools see a phone through the control interface, and the program through its headers.
    "tools/": SEAM + CONTROL + PLATFORM_SHARED[1:5] + ["radio/", "schedule/", "app/resource.h",
                                                      "tools/shared/"],
    "bench/": SEAM + CONTROL,
}
SOURCE_SUFFIXES = (".cpp", ".h", ".c", ".rc")
FOLDERS = ["radio", "schedule", "app", "platform", "tools", "bench"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def rule_of(path):
    """The folder whose rule holds for `path`, and the prefixes it may include: its rule's list
    and its own folder."""
    folders = sorted((f for f in RULES if path.startswith(f)), key=len, reverse=True)
    if not folders:
        return None, []
    return folders[0], RULES[folders[0]] + [os.path.dirname(path) + "/"]


def check(root):
    problems = []
    for top in FOLDERS:
        for folder, _, files in os.walk(os.path.join(root, top)):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                full = os.path.join(folder, name)
                path = os.path.relpath(full, root)
                floor, allowed = rule_of(path)
                if floor is None:
                    continue
                with open(full, encoding="utf-8", errors="replace") as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        header = match.group(1)
                        beside = os.path.normpath(os.path.join(os.path.dirname(path), header))
                        named = beside if os.path.exists(os.path.join(root, beside)) else header
                        if not any(named == a or named.startswith(a) for a in allowed if
                                   a.endswith("/")) and named not in allowed:
                            problems.append(
                                f"{path}:{number}: includes \"{header}\" ({named}), which "
                                f"{floor} may not include; it may include "
                                f"{', '.join(sorted(set(allowed)))}")
    return problems


def main():
    root = sys.argv[1]
    problems = check(root)
    for problem in problems:
        print(f"error: {problem}", file=sys.stderr)
    if problems:
        return 1
    if len(sys.argv) > 2:
        with open(sys.argv[2], "w") as stamp:
            stamp.write("ok\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
