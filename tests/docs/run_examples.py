#!/usr/bin/env python3
"""Runs the shell examples of the user-facing pages (README.md and docs/*.md) and checks them.

Every ```sh block of a page is run, command by command, in one shell per page, as a reader
following the page in one terminal would: on a throw-away simulated phone, on a new phone in a
Wine prefix that is already set up, with no terminal, and with `build/` and `build-win64/`
standing for the builds under test. A command passes when it exits as the page says and, where
the page shows its output, prints that output. The markers, in a comment at the end of a line:

    command            #> what it prints      (more lines follow as lines of `#> ...` alone)
    command            #? 1                   (its exit status, when it is not 0)
    command            # not run: why         (left out, and the reason says why)

In what it prints, `...` stands for any text (lines too) and `<TAB>` for a tab. Any other
comment is commentary. A command that would open the dialog reads its script from the pipe the
page shows, else the end of its input, which is Cancel.

usage: run_examples.py --source DIR --build DIR --win64-build DIR --wine-prefix DIR [PAGE...]
"""

import argparse
import os
import re
import shlex
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field

OUTPUT_MARK = "#>"
STATUS_MARK = "#?"
SKIP_MARK = "# not run:"


@dataclass
class Command:
    page: str
    line: int
    text: str
    expected: list = field(default_factory=list)
    status: int = 0
    skip: str = ""


def split_comment(line):
    """The shell text of a line and its trailing comment ("" when none): a `#` that starts a
    word outside quotes starts the comment."""
    quote = None
    for i, c in enumerate(line):
        if quote:
            if c == quote:
                quote = None
            elif c == "\\" and quote == '"':
                continue
        elif c in "'\"":
            quote = c
        elif c == "#" and (i == 0 or line[i - 1] in " \t"):
            return line[:i].rstrip(), line[i:]
    return line.rstrip(), ""


def commands_of(page_path, page_name):
    """The commands of a page's sh blocks, with what each is expected to do."""
    commands = []
    in_block = False
    pending = ""
    with open(page_path, encoding="utf-8") as page:
        lines = page.read().split("\n")
    for number, raw in enumerate(lines, 1):
        stripped = raw.strip()
        if stripped.startswith("```"):
            in_block = not in_block and stripped[3:].strip() in ("sh", "bash", "shell")
            continue
        if not in_block:
            continue
        text, comment = split_comment(raw)
        if not text and comment.startswith(OUTPUT_MARK) and commands:
            commands[-1].expected.append(comment[len(OUTPUT_MARK):].removeprefix(" "))
            continue
        if not text:
            continue
        if text.endswith("\\"):
            pending += text[:-1] + " "
            continue
        command = Command(page_name, number, pending + text)
        pending = ""
        if comment.startswith(OUTPUT_MARK):
            command.expected.append(comment[len(OUTPUT_MARK):].removeprefix(" "))
        elif comment.startswith(STATUS_MARK):
            command.status = int(comment[len(STATUS_MARK):].split()[0])
        elif comment.startswith(SKIP_MARK):
            command.skip = comment[len(SKIP_MARK):].strip()
            if not command.skip:
                sys.exit(f"{page_name}:{number}: '# not run:' needs a reason beside it")
        commands.append(command)
    return commands


def output_pattern(expected):
    """A pattern for the whole output: `...` any text, `<TAB>` a tab, the rest as written."""
    text = "\n".join(expected)
    parts = [re.escape(p).replace("<TAB>", "\t") for p in text.split("...")]
    return re.compile("(?s)" + ".*?".join(parts))


def uses_wine(commands):
    return any("--wine" in c.text or "wine-prefix" in c.text for c in commands if not c.skip)


def sandbox(args, root):
    """A copy of the source tree's top level made of links, whose build folders are the builds
    under test, so that the pages' paths (build/velmora, tools/run, ...) lead to them."""
    tree = os.path.join(root, "tree")
    os.mkdir(tree)
    builds = {"build": args.build, "build-win64": args.win64_build}
    for name in os.listdir(args.source):
        if name.startswith("build") or name.startswith("."):
            continue
        os.symlink(os.path.join(args.source, name), os.path.join(tree, name))
    for name, path in builds.items():
        os.symlink(os.path.abspath(path), os.path.join(tree, name))
    return tree


def start_display():
    """An Xvfb for the whole run, so that the Wine commands share one warm wine server rather
    than each starting a display of its own and ending the server with it."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "640x480x24",
                             "-nolisten", "tcp"], pass_fds=(write_end,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as number:
        display = number.readline().strip()
    if not display:
        xvfb.kill()
        sys.exit("Xvfb did not start")
    return xvfb, ":" + display


def new_wine_phone(args, tree):
    """Makes the prefix's phone new: its state and the program's settings deleted."""
    state = os.path.join(tree, "build-win64", "bin", "velmora-state.exe")
    env = dict(os.environ, VELMORA_WINEPREFIX=args.wine_prefix, DISPLAY=args.display)
    subprocess.run([os.path.join(tree, "tools", "wine-prefix"), "run", state, "reset"],
                   env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True,
                   timeout=120)


def run_page(args, tree, root, page, commands):
    """Runs a page's commands in one shell; the failures, as lines to show."""
    work = tempfile.mkdtemp(prefix="page-", dir=root)
    results = os.path.join(work, "results")
    os.mkdir(results)
    os.mkdir(os.path.join(work, "tmp"))
    script = [
        "cd " + shlex.quote(tree),
        # In the page's one shell, so that what a command exports or sets holds for the rest.
        'run_one() { eval "$2" </dev/null >"$R/$1.out" 2>"$R/$1.err"; echo $? >"$R/$1.status"; }',
    ]
    for i, c in enumerate(commands):
        if not c.skip:
            script.append(f"run_one {i} {shlex.quote(c.text)}")
    env = dict(os.environ)
    for name in ("WINEPREFIX", "VELMORA_WIN32_BIN"):
        env.pop(name, None)
    env.update({
        "DISPLAY": args.display,
        "R": results,
        "TMPDIR": os.path.join(work, "tmp"),
        "VELMORA_PHONE": os.path.join(work, "phone.db"),
        "XDG_STATE_HOME": os.path.join(work, "state"),
        "VELMORA_NO_BUILD": "1",
        "VELMORA_WINEPREFIX": args.wine_prefix,
        "VELMORA_WIN32_BIN": os.path.join(tree, "build-win64", "bin"),
        "VELMORA_WINE_TIMEOUT": "300",
    })
    if uses_wine(commands):
        new_wine_phone(args, tree)
    try:
        subprocess.run(["bash", "-c", "\n".join(script)], env=env, stdin=subprocess.DEVNULL,
                       timeout=args.timeout, start_new_session=True)
    except subprocess.TimeoutExpired:
        return [f"{page}: did not end within {args.timeout} s"]
    failures = []
    for i, c in enumerate(commands):
        if c.skip:
            continue
        where = f"{c.page}:{c.line}: {c.text}"
        try:
            with open(os.path.join(results, f"{i}.status")) as f:
                status = int(f.read())
            with open(os.path.join(results, f"{i}.out"), encoding="utf-8", errors="replace") as f:
                out = f.read()
            with open(os.path.join(results, f"{i}.err"), encoding="utf-8", errors="replace") as f:
                err = f.read()
        except OSError:
            failures.append(f"{where}\n  never ran (a command before it ended the page's shell)")
            continue
        if status != c.status:
            failures.append(f"{where}\n  exited {status}, where the page says {c.status}"
                            + shown("standard error", err))
        if c.expected and not output_pattern(c.expected).fullmatch(out.rstrip("\n")):
            failures.append(f"{where}\n  printed what the page does not show"
                            + shown("expected", "\n".join(c.expected))
                            + shown("printed", out) + shown("standard error", err))
    return failures


def shown(title, text):
    text = text.rstrip("\n")
    if not text:
        return ""
    return f"\n  {title}:\n" + "\n".join("    " + line.replace("\t", "<TAB>")
                                         for line in text.split("\n")[:40])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--win64-build", required=True)
    parser.add_argument("--wine-prefix", required=True)
    parser.add_argument("--timeout", type=int, default=600)
    parser.add_argument("pages", nargs="*")
    args = parser.parse_args()
    pages = args.pages or ["README.md"] + sorted(
        os.path.join("docs", name) for name in os.listdir(os.path.join(args.source, "docs"))
        if name.endswith(".md"))
    xvfb, args.display = start_display()
    try:
        with tempfile.TemporaryDirectory(prefix="velmora-examples-") as root:
            tree = sandbox(args, root)
            failures, counted, skipped = [], 0, 0
            for page in pages:
                commands = commands_of(os.path.join(args.source, page), page)
                counted += sum(1 for c in commands if not c.skip)
                skipped += sum(1 for c in commands if c.skip)
                if commands:
                    failures += run_page(args, tree, root, page, commands)
            subprocess.run([os.path.join(tree, "tools", "wine-prefix"), "stop"],
                           env=dict(os.environ, VELMORA_WINEPREFIX=args.wine_prefix))
    finally:
        xvfb.kill()
        xvfb.wait()
    for failure in failures:
        print("FAIL " + failure)
    print(f"{counted} commands run from {len(pages)} pages ({skipped} not run, each with its "
          f"reason); {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
