#!/usr/bin/env python3
"""Tests of the README and the pages in docs/.

    docs_test.py SOURCE_DIR links|commands|self
    docs_test.py SOURCE_DIR options EXECUTABLE

links     every relative link and image leads to a file, every #anchor to a
          heading of its page; the README stays short.
commands  every script the pages run exists and answers --help; every file of
          the source tree they name exists; every preset, program and KVN_
          setting they name is the build's.
options   the program's --help, the manual page and the user guide list the
          same options.
self      the checks above find the faults they are for, in a tree made for it.
"""

import json
import os
import re
import subprocess
import sys
import tempfile

README_MAX_LINES = 200
# The two commands stand within the README's first lines.
README_COMMANDS_WITHIN = 15

FENCE = re.compile(r"^(```|~~~)")
INLINE_CODE = re.compile(r"(`+)((?:(?!\n[ \t]*\n)[^`])+?)\1")
LINK = re.compile(r"!?\[(?:[^\[\]]|\[[^\[\]]*\])*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
REFERENCE = re.compile(r"^\s{0,3}\[[^\]]+\]:\s+<?(\S+?)>?(?:\s.*)?$")
HEADING = re.compile(r"^(#{1,6})\s+(.*?)\s*#*\s*$")
# Paths into the source tree, as the pages write them in code.
TREE_FOLDERS = ("src", "sim", "tests", "bench", "fuzz", "packaging", "cmake", "scripts", "docs")
SCRIPT = re.compile(r"^(\./[\w.-]+|(?:bench|scripts|cmake|tests/\w+)/[\w.-]+\.sh)$")
SETTING = re.compile(r"\bKVN(?:VB)?_[A-Z0-9_]*[A-Z0-9]\b")
PRESET = re.compile(r"--preset[= ]([\w-]+)")
BUILT_PROGRAM = re.compile(r"\bbuild/[\w-]+/bin/([\w.-]+)")


def pages(root):
    found = [os.path.join(root, "README.md")]
    docs = os.path.join(root, "docs")
    if os.path.isdir(docs):
        found += sorted(os.path.join(docs, f) for f in os.listdir(docs) if f.endswith(".md"))
    return [p for p in found if os.path.isfile(p)]


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def split_code(text):
    """The page's prose and its code: (prose, spans, blocks). prose is the
    text outside code blocks, its code spans blanked out, lines kept; spans
    and blocks are (line number, code) pairs. A code span may run over the
    lines of a paragraph."""
    kept, blocks = [], []
    fence = None
    for number, line in enumerate(text.split("\n"), 1):
        m = FENCE.match(line.strip())
        if fence:
            if m and line.strip().startswith(fence):
                fence = None
            else:
                blocks.append((number, line))
            kept.append("")
            continue
        if m:
            fence = m.group(1)
            kept.append("")
            continue
        kept.append(line)
    joined = "\n".join(kept)
    spans = [(line_of(joined, m.start()), " ".join(m.group(2).split()))
             for m in INLINE_CODE.finditer(joined)]
    prose = INLINE_CODE.sub(lambda m: "\n" * m.group(0).count("\n"), joined)
    return prose, spans, blocks


def line_of(text, offset):
    return text.count("\n", 0, offset) + 1


def slug(heading):
    """The anchor GitHub gives a heading."""
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", heading)
    text = re.sub(r"<[^>]+>", "", text).replace("`", "").lower()
    text = "".join(c for c in text if c.isalnum() or c in " -_")
    return text.replace(" ", "-")


def anchors(text):
    seen, found = {}, set()
    in_blocks = {number for number, _ in split_code(text)[2]}
    for number, line in enumerate(text.split("\n"), 1):
        if number in in_blocks:
            continue
        m = HEADING.match(line)
        if not m:
            continue
        base = slug(m.group(2))
        count = seen.get(base, 0)
        seen[base] = count + 1
        found.add(base if count == 0 else f"{base}-{count}")
    return found


def link_problems(root):
    problems = []
    root = os.path.realpath(root)
    for page in pages(root):
        text = read(page)
        name = os.path.relpath(page, root)
        prose, _, _ = split_code(text)
        targets = [(line_of(prose, m.start()), m.group(1)) for m in LINK.finditer(prose)]
        for number, line in enumerate(prose.split("\n"), 1):
            m = REFERENCE.match(line)
            if m:
                targets.append((number, m.group(1)))
        for number, target in targets:
            if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                continue  # https:, mailto:, file:
            path, _, anchor = target.partition("#")
            resolved = os.path.realpath(os.path.join(os.path.dirname(page), path)) if path else page
            where = f"{name}:{number}: {target}"
            if not (resolved == root or resolved.startswith(root + os.sep)):
                problems.append(f"{where}: leads out of the source tree")
            elif not os.path.exists(resolved):
                problems.append(f"{where}: no such file")
            elif anchor:
                if not resolved.endswith(".md") or os.path.isdir(resolved):
                    problems.append(f"{where}: an anchor into a file that is no page")
                elif anchor not in anchors(read(resolved)):
                    problems.append(f"{where}: no heading with the anchor #{anchor}")
    readme = os.path.join(root, "README.md")
    if os.path.isfile(readme):
        lines = read(readme).rstrip("\n").split("\n")
        if len(lines) > README_MAX_LINES:
            problems.append(f"README.md: {len(lines)} lines, more than {README_MAX_LINES}")
        head = "\n".join(lines[:README_COMMANDS_WITHIN])
        for command in ("./run", "./test"):
            if not re.search(rf"^{re.escape(command)}\s", head, re.M):
                problems.append(f"README.md: {command} is not among its first "
                                f"{README_COMMANDS_WITHIN} lines")
    return problems


def commands_of(code):
    """(line, words) of every command in the page's code: each line of a
    code block, and each code span."""
    found = []
    for number, line in code:
        line = re.sub(r"\s#.*$", "", line).strip()
        for part in re.split(r"&&|\|\||;|\|", line):
            words = part.split()
            while words and re.match(r"^[A-Z_][A-Z0-9_]*=", words[0]):
                words = words[1:]  # variables set for the command
            if words and words[0] == "sudo":
                words = [w for w in words[1:] if not w.startswith("-")]
            if words:
                found.append((number, words))
    return found


def source_settings(root):
    """Every KVN_ name the build, the scripts and the sources use."""
    names = set()
    skip = {os.path.join(root, d) for d in ("build", "docs", ".git")}
    for folder, dirs, files in os.walk(root):
        dirs[:] = [d for d in dirs if os.path.join(folder, d) not in skip]
        for f in files:
            if f.endswith((".md", ".png", ".svg")) or f == os.path.basename(__file__):
                continue
            try:
                with open(os.path.join(folder, f), encoding="utf-8", errors="replace") as s:
                    names.update(SETTING.findall(s.read()))
            except OSError:
                pass
    return names


def presets(root):
    with open(os.path.join(root, "CMakePresets.json"), encoding="utf-8") as f:
        data = json.load(f)
    return {p["name"] for kind, entries in data.items() if kind.endswith("Presets")
            for p in entries if isinstance(p, dict) and "name" in p}


def programs(root):
    """The names of the executables the build makes."""
    names = set()
    for folder, dirs, files in os.walk(root):
        dirs[:] = [d for d in dirs if d not in ("build", ".git")]
        for f in files:
            if f == "CMakeLists.txt" or f.endswith(".cmake"):
                names.update(re.findall(r"\b(?:add_executable|kvn_add_test|kvn_add_fuzz)\(\s*([\w.-]+)",
                                        read(os.path.join(folder, f))))
    return names


def command_problems(root):
    problems = []
    settings, known_presets, known_programs = source_settings(root), presets(root), programs(root)
    helped = set()
    for page in pages(root):
        text = read(page)
        name = os.path.relpath(page, root)
        _, spans, blocks = split_code(text)
        for number, words in commands_of(spans + blocks):
            where = f"{name}:{number}"
            first = words[0]
            if SCRIPT.match(first):
                path = os.path.join(root, first)
                if not os.path.isfile(path):
                    problems.append(f"{where}: {first} does not exist")
                elif not os.access(path, os.X_OK):
                    problems.append(f"{where}: {first} cannot be run")
                elif first not in helped:
                    helped.add(first)
                    done = subprocess.run([path, "--help"], cwd=root, capture_output=True,
                                          timeout=30, stdin=subprocess.DEVNULL)
                    if done.returncode != 0 or not done.stdout.strip():
                        problems.append(f"{where}: {first} --help answers status "
                                        f"{done.returncode} with {len(done.stdout)} bytes")
        for number, code in spans + blocks:
            where = f"{name}:{number}"
            for word in code.split():
                word = word.strip("`'\",;:()")
                top = word.split("/")[0]
                if (top in TREE_FOLDERS and "/" in word and not re.search(r"[*?<>{}\[\]]", word)
                        and not os.path.exists(os.path.join(root, word))):
                    problems.append(f"{where}: {word} is not in the source tree")
            for preset in PRESET.findall(code):
                if preset not in known_presets:
                    problems.append(f"{where}: no preset named {preset}")
            for program in BUILT_PROGRAM.findall(code):
                if program not in known_programs:
                    problems.append(f"{where}: the build makes no program {program}")
        for number, line in enumerate(text.split("\n"), 1):
            for setting in SETTING.findall(line):
                if setting not in settings:
                    problems.append(f"{name}:{number}: {setting} is used nowhere in the source tree")
    return problems


OPTION = re.compile(r"(?<![\w/-])(/[A-Za-z?]|--?[a-z][a-z-]*)(?=$|[\s,=\[\].)]|\\c)")


def option_names(text):
    return {o.upper() if o.startswith("/") else o for o in OPTION.findall(text)}


def usage_options(usage):
    """The options the usage text lists: the indented lines of its Options
    block, each option before the text that says what it does."""
    names, inside = set(), False
    for line in usage.split("\n"):
        if line.startswith("Options"):
            inside = True
        elif inside and not line.strip():
            break
        elif inside and re.match(r"^ {1,4}[/-]", line):
            names |= option_names(re.split(r"\s{2,}", line.strip())[0])
    return names


def manual_options(manual):
    """The options the manual page's OPTIONS section gives, one .TP each."""
    names, inside, tag_next = set(), False, False
    for line in manual.split("\n"):
        if line.startswith(".SH"):
            inside = line.split(None, 1)[1:] == ["OPTIONS"]
        elif inside and line.startswith(".TP"):
            tag_next = True
        elif tag_next:
            tag_next = False
            tag = re.sub(r"^\.\w+\s*", "", line).replace("\\-", "-").replace('"', " ")
            names |= option_names(tag)
    return names


def guide_options(guide):
    """The options of the user guide's command line section: the first cell
    of each row of its table."""
    names, inside = set(), False
    for line in guide.split("\n"):
        m = HEADING.match(line)
        if m:
            inside = slug(m.group(2)) == "the-command-line"
        elif inside and line.startswith("|") and not re.match(r"^\|[\s|:-]+$", line):
            cell = line.strip("|").split("|")[0]
            names |= option_names(" ".join(code for _, code in INLINE_CODE.findall(cell)))
    return names


def option_problems(root, usage):
    lists = {
        "kvnvb_DazEvo --help": usage_options(usage),
        "the manual page": manual_options(read(os.path.join(root, "packaging", "kvnvb_DazEvo.1.in"))),
        "the user guide": guide_options(read(os.path.join(root, "docs", "user-guide.md"))),
    }
    problems = [f"{where} lists no options" for where, names in lists.items() if not names]
    everything = set().union(*lists.values())
    for where, names in lists.items():
        if names != everything:
            problems.append(f"{where} lacks {', '.join(sorted(everything - names))}")
    return problems


def program_usage(executable):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    done = subprocess.run([executable, "--help"], capture_output=True, timeout=30, env=env,
                          stdin=subprocess.DEVNULL)
    if done.returncode != 0:
        raise SystemExit(f"FAIL: {executable} --help ended with status {done.returncode}")
    return done.stdout.decode()


def write(root, name, text, mode=0o644):
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    os.chmod(path, mode)


def self_test():
    """Each check on a small tree: silent where the tree is sound, and
    naming each fault put into it."""
    failures = []

    def expect(what, problems, *faults):
        for fault in faults:
            if not any(fault in p for p in problems):
                failures.append(f"{what}: no problem names {fault!r} in {problems}")
        if not faults and problems:
            failures.append(f"{what}: problems in a sound tree: {problems}")

    readme = "# T\n\n```sh\n./run\n./test\n```\n\nSee [the guide](docs/guide.md#the-log-file).\n"
    guide = ("# Guide\n\n## The log file\n\n## `/L`, twice: again\n\n## `/M`\n\n## The log file\n\n"
             "[back](../README.md), [first](#the-log-file), [again](#the-log-file-1), "
             "[code](#l-twice-again), [option](#m)\n\n```\n## Not a heading\n[not a link](nowhere.md)\n```\n")
    script = "#!/bin/sh\n# Does a thing.\ncase $1 in --help) echo usage; exit 0 ;; esac\nexit 3\n"
    with tempfile.TemporaryDirectory() as root:
        write(root, "CMakePresets.json", '{"configurePresets": [{"name": "debug"}]}')
        write(root, "CMakeLists.txt", "add_executable(tool main.cpp)\noption(KVN_REAL on)\n")
        write(root, "README.md", readme)
        write(root, "docs/guide.md", guide)
        write(root, "run", script, 0o755)
        write(root, "test", script, 0o755)
        expect("links, sound", link_problems(root))
        expect("commands, sound", command_problems(root))

        write(root, "README.md", readme.replace("guide.md#", "gide.md#"))
        expect("a link to a missing page", link_problems(root), "README.md:8: docs/gide.md")
        write(root, "README.md", readme.replace("#the-log-file", "#the-log"))
        expect("a link to a missing heading", link_problems(root), "no heading with the anchor #the-log")
        write(root, "README.md", readme + "![picture](docs/none.png) [up](../../etc/passwd)\n")
        expect("a missing image and a link out", link_problems(root), "docs/none.png: no such file",
               "leads out of the source tree")
        write(root, "README.md", readme.replace("./test\n", "") + "\n" * 20 + "./test\n")
        expect("./test too far down", link_problems(root), "./test is not among")
        write(root, "README.md", readme + "x\n" * README_MAX_LINES)
        expect("a long README", link_problems(root), "more than 200")
        write(root, "README.md", readme)

        write(root, "docs/guide.md", guide + "\n```sh\n./package --x\nbench/none.sh\n"
              "cmake --preset asan\nbuild/debug/bin/tool && build/debug/bin/gone\n```\n"
              "`src/missing.h`, `KVN_REAL`, `KVN_UNREAL`\n")
        write(root, "package", "#!/bin/sh\nexit 3\n", 0o755)
        expect("commands", command_problems(root), "./package --help answers status 3",
               "bench/none.sh does not exist", "no preset named asan",
               "no program gone", "src/missing.h is not in the source tree",
               "KVN_UNREAL is used nowhere")
        if any("program tool" in p or "KVN_REAL " in p for p in command_problems(root)):
            failures.append("commands: a program or setting that exists was named a problem")

        usage = "Usage: p\n\nOptions:\n  /L          logs\n  /M, /M=A:P  serves\n  /?, --help  helps\n\nSee p(1).\n"
        manual = (".SH OPTIONS\nText /X.\n.TP\n.B /L\nLogs.\n.TP\n.BR /M [ =\\c\n.IR a : p ]\n"
                  "Serves.\n.TP\n.BR /? \", \" \\-\\-help\nHelps.\n.SH FILES\n.TP\n.B /Q\n")
        guide = ("# Guide\n\n## The command line\n\n| Option | What |\n|---|---|\n| `/L` | logs, not /X |\n"
                 "| `/M`, `/M=A:P` | serves |\n| `/?`, `--help` | helps |\n\n## Next\n\n| `/Q` | no |\n")
        write(root, "packaging/kvnvb_DazEvo.1.in", manual)
        write(root, "docs/user-guide.md", guide)
        expect("options, the same", option_problems(root, usage))
        write(root, "docs/user-guide.md", guide.replace("| `/?`, `--help` | helps |\n", ""))
        expect("an option the guide lacks", option_problems(root, usage), "the user guide lacks --help, /?")
        write(root, "packaging/kvnvb_DazEvo.1.in", manual.replace(".B /L", ".B /K"))
        expect("another option in the manual", option_problems(root, usage),
               "kvnvb_DazEvo --help lacks /K", "the manual page lacks /L")
    return failures


def main(argv):
    if len(argv) < 3:
        raise SystemExit(__doc__)
    root, case = argv[1], argv[2]
    if case == "links":
        problems = link_problems(root)
    elif case == "commands":
        problems = command_problems(root)
    elif case == "options" and len(argv) == 4:
        problems = option_problems(root, program_usage(argv[3]))
    elif case == "self":
        problems = self_test()
    else:
        raise SystemExit(__doc__)
    for p in problems:
        print(f"FAIL: {p}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
