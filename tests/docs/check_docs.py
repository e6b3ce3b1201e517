#!/usr/bin/env python3
"""Reads the project's documents and fails when a thing they name does not exist.

Named things: repository paths and links, CMake presets and targets, scripts, kelmar-sim
options, benchmark and fuzz programs, ctest patterns and GoogleTest filters; and in the user's
guides every quoted text („…” in Hungarian, "…" in English), which must be the program's own:
made of the string literals in src/ with at most a one-word value (a port or group name, a
number) between them. The other way round
it fails when a preset, a script, a benchmark, a fuzz target, a CI stage or a simulator option is
named by no document. A section may describe what another branch brings before it lands:

    <!-- pending issue-20: preset app, scripts/first-run-test.sh -->
    ...
    <!-- /pending -->

Inside, the listed names may be missing; once any of them exists the marker is stale and the
check fails, so the section is brought up to date with what landed. A marker without names
only marks the section for the reader.

Usage: check_docs.py SOURCE_DIR [--list]   (--list prints every name checked)
"""

from __future__ import annotations

import fnmatch
import json
import re
import sys
from dataclasses import dataclass, field
from pathlib import Path

DOCUMENTS = ["README.md", "docs/*.md", "tools/kelmar-sim/README.md"]
DEVELOPING = "docs/DEVELOPING.md"
SIM_README = "tools/kelmar-sim/README.md"
REPO_DIRS = ("\\.ci", "bench", "cmake", "docs", "fuzz", "packaging", "scripts", "src", "tests",
             "tools")
ROOT_FILES = ("README.md", "LICENSE", "CMakeLists.txt", "CMakePresets.json", ".clang-format")
PLACEHOLDER = re.compile(r"[<>*…${}]|\.\.\.")
PATTERN_PLACEHOLDER = re.compile(r"[<>…]")

PATH_RE = re.compile(r"(?<![\w/.$~\\-])((?:%s)/[\w./+-]*)" % "|".join(REPO_DIRS))
ROOT_FILE_RE = re.compile(r"(?<![\w/.-])(%s)(?![\w/-])" %
                          "|".join(re.escape(f) for f in ROOT_FILES))
BUILD_PATH_RE = re.compile(r"(?<![\w/.$~-])build/([\w.-]+)((?:/[\w.+-]+)*)")
LINK_RE = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")
PRESET_FLAG_RE = re.compile(r"(cmake\s+--build\s+|ctest\s+|cmake\s+)?--preset[ =]+([A-Za-z][\w-]*)")
NAME_LIST = r"((?:`[\w-]+`(?:,\s*|\s+and\s+|\s+or\s+)?)+)"  # `a`, `b` and `c`
PRESET_WORD_RE = re.compile(NAME_LIST + r"\s*presets?\b")
PRESET_AFTER_RE = re.compile(r"\bpresets?\s+" + NAME_LIST)
SIM_RE = re.compile(r"kelmar-sim\b([^|`\n]*)")
OPTION_RE = re.compile(r"(?<![\w-])(--[a-z][a-z0-9-]*)")
BENCH_RE = re.compile(r"(?<![\w/])(bench_[a-z][a-z0-9_]*)\b(?!\.\w)")
FUZZ_RE = re.compile(r"(?<![\w/])(fuzz_[a-z][a-z0-9_]*)\b(?!\.\w)")
TARGET_RE = re.compile(r"--target((?:\s+[A-Za-z][\w-]*)+)")
CTEST_RE = re.compile(r"\bctest\b[^\n]*?\s-([RE])\s+('[^']*'|\"[^\"]*\"|\S+)")
GTEST_FILTER_RE = re.compile(r"--gtest_filter=('[^']*'|\"[^\"]*\"|[^\s`]+)")
GUIDES = {"docs/hasznalati-utmutato.md": re.compile(r"„([^”]+)”"),
          "docs/user-guide.md": re.compile(r"(?<![\w=])\"([^\"]+)\"")}
PENDING_OPEN = re.compile(r"<!--\s*pending\s+([\w-]+)\s*(?::(.*?))?-->")
PENDING_CLOSE = re.compile(r"<!--\s*/pending\s*-->")


@dataclass
class Name:
    key: str   # what a pending marker lists, e.g. "preset app"
    what: str  # the kind, for messages
    exists: bool
    where: str  # document:line


@dataclass
class Pending:
    issue: str
    keys: list[str]
    where: str
    named: set[str] = field(default_factory=set)


class Repository:
    """What the source tree defines, read from its files."""

    def __init__(self, root: Path):
        self.root = root
        presets = json.loads((root / "CMakePresets.json").read_text())
        self.configure = {p["name"]: p for p in presets.get("configurePresets", [])}
        self.build = {p["name"] for p in presets.get("buildPresets", [])}
        self.test = {p["name"] for p in presets.get("testPresets", [])}
        self.binary_dirs = {self.binary_dir(name) for name in self.configure}
        cmake_files = [p for p in root.rglob("CMakeLists.txt") if not self.ignored(p)]
        cmake_files += [p for p in (root / "cmake").glob("*.cmake")]
        self.targets: dict[str, Path] = {}
        for path in cmake_files:
            text = path.read_text(errors="replace")
            for match in re.finditer(
                    r"\b(add_executable|add_library|add_custom_target|quorvel_add_gtest|"
                    r"quorvel_add_fuzzer)\(\s*([\w${}-]+)", text):
                name = match.group(2)
                if match.group(1) == "quorvel_add_fuzzer":
                    name = "fuzz_" + name
                if "$" not in name:
                    self.targets[name] = path.parent
        self.tests = self.read_test_names()
        options = (root / "tools/kelmar-sim/SimOptions.cpp").read_text()
        self.sim_options = set(re.findall(r"\"(--[a-z][a-z0-9-]*)\"", options))
        self.texts = program_texts(root / "src")
        self.ci_stages = re.findall(r"^\s*bash\s+(scripts/\S+)", (root / ".ci/run").read_text(),
                                    re.M)

    def ignored(self, path: Path) -> bool:
        parts = path.relative_to(self.root).parts
        return bool(parts) and parts[0] in ("build", ".git")

    def binary_dir(self, name: str) -> str:
        preset = self.configure[name]
        directory = preset.get("binaryDir", "${sourceDir}/build/${presetName}")
        return directory.replace("${sourceDir}/", "").replace("${presetName}", name)

    def read_test_names(self) -> list[str]:
        names: list[str] = []
        for path in (self.root / "tests").rglob("*"):
            if path.suffix == ".cpp":
                text = path.read_text(errors="replace")
                prefixes: dict[str, list[str]] = {}
                for match in re.finditer(r"INSTANTIATE_TEST_SUITE_P\(\s*(\w+)\s*,\s*(\w+)", text):
                    prefixes.setdefault(match.group(2), []).append(match.group(1))
                for match in re.finditer(r"\bTEST(_F|_P)?\(\s*(\w+)\s*,\s*(\w+)", text):
                    suite, case = match.group(2), match.group(3)
                    if match.group(1) == "_P":
                        names += [f"{p}/{suite}.{case}/0" for p in prefixes.get(suite, [])]
                    else:
                        names.append(f"{suite}.{case}")
            elif path.name == "CMakeLists.txt":
                text = path.read_text(errors="replace")
                names += re.findall(r"add_test\(\s*NAME\s+([\w.-]+)", text)
                names += re.findall(r"quorvel_add_gtest\(\s*(\w+)", text)
        return names

    # The text is a literal, or whole words inside one; or literals cover it from end to end
    # with at most one word (no blank) between two of them.
    def is_program_text(self, text: str) -> bool:
        inside = re.compile(r"(?<!\w)" + re.escape(text) + r"(?!\w)")
        if text in self.texts or (len(text) >= 4 and any(inside.search(t) for t in self.texts)):
            return True
        rest = text
        for literal in sorted((t for t in self.texts if len(t.strip()) >= 4), key=len,
                              reverse=True):
            rest = rest.replace(literal, "\0")
        if "\0" not in rest:
            return False
        gaps = rest.split("\0")
        return (not gaps[0].strip() and not gaps[-1].strip() and
                all(len(gap.strip()) <= 24 and " " not in gap.strip() for gap in gaps))

    def path_exists(self, relative: str) -> bool:
        return (self.root / relative.rstrip("/")).exists()


class Checker:
    def __init__(self, root: Path):
        self.repo = Repository(root)
        self.root = root
        self.names: list[Name] = []
        self.errors: list[str] = []
        self.pending: list[Pending] = []
        self.keys_by_document: dict[str, set[str]] = {}

    # One named thing. A missing one inside a pending block that lists its key is tolerated.
    def note(self, key: str, exists: bool, where: str, block: Pending | None, what: str) -> None:
        self.names.append(Name(key, what, exists, where))
        self.keys_by_document.setdefault(where.split(":")[0], set()).add(key)
        if block is not None:
            block.named.add(key)
        if exists:
            return
        if block is not None and key in block.keys:
            return
        self.errors.append(f"{where}: {what} `{key}` does not exist")

    def check_documents(self) -> None:
        documents: list[Path] = []
        for pattern in DOCUMENTS:
            documents += sorted(self.root.glob(pattern))
        for document in documents:
            self.check_document(document)
        for block in self.pending:
            for key in block.keys:
                landed = [n for n in self.names if n.key == key and n.exists]
                if key not in block.named:
                    self.errors.append(f"{block.where}: the pending marker for {block.issue} "
                                       f"lists `{key}`, which its section does not name")
                elif landed:
                    self.errors.append(f"{block.where}: `{key}` exists now: {block.issue} has "
                                       f"landed; bring the section up to date and drop its "
                                       f"pending marker")

    def check_document(self, document: Path) -> None:
        relative = document.relative_to(self.root).as_posix()
        block: Pending | None = None
        fenced = False
        paragraph: list[tuple[str, str]] = []  # a quote may run over a line break
        for number, line in enumerate(document.read_text().splitlines(), 1):
            where = f"{relative}:{number}"
            if line.lstrip().startswith("```") or PENDING_CLOSE.search(line):
                self.check_quotes(relative, paragraph, block)
                paragraph = []
            if line.lstrip().startswith("```"):
                fenced = not fenced
                continue
            opened = None if fenced else PENDING_OPEN.search(line)
            if opened:
                self.check_quotes(relative, paragraph, block)
                paragraph = []
                if block is not None:
                    self.errors.append(f"{where}: a pending marker inside {block.where}'s")
                keys = [k.strip() for k in (opened.group(2) or "").split(",") if k.strip()]
                block = Pending(opened.group(1), keys, where)
                self.pending.append(block)
                continue
            if not fenced and PENDING_CLOSE.search(line):
                block = None
                continue
            spans = [line] if fenced else re.findall(r"`([^`]+)`", line)
            if fenced or not line.strip():
                self.check_quotes(relative, paragraph, block)
                paragraph = []
            else:
                paragraph.append((where, line))
            self.check_links(document, line, where, block)
            for span in spans:
                self.check_span(span, where, block, fenced)
            self.check_preset_words(line, where, block)
        self.check_quotes(relative, paragraph, block)
        if block is not None:
            self.errors.append(f"{block.where}: the pending marker is never closed")

    # The quoted texts of a paragraph of a user's guide, code spans left out.
    def check_quotes(self, relative: str, paragraph: list[tuple[str, str]],
                     block: Pending | None) -> None:
        quotes = GUIDES.get(relative)
        if quotes is None or not paragraph:
            return
        text = " ".join(re.sub(r"`[^`]*`", "", line.strip()) for _, line in paragraph)
        for quoted in quotes.findall(text):
            quoted = " ".join(quoted.split())
            self.note(f"text {quoted}", self.repo.is_program_text(quoted), paragraph[0][0],
                      block, "window text")

    def check_links(self, document: Path, line: str, where: str, block: Pending | None) -> None:
        for target in LINK_RE.findall(line):
            if re.match(r"[a-z]+:", target):
                continue
            file_part, _, anchor = target.partition("#")
            path = (document.parent / file_part) if file_part else document
            exists = path.exists()
            if exists and anchor and path.suffix == ".md":
                exists = anchor in heading_anchors(path)
            self.note(f"link {target}", exists, where, block, "link target")

    def check_span(self, span: str, where: str, block: Pending | None, fenced: bool) -> None:
        repo = self.repo
        for path in PATH_RE.findall(span):
            path = path.rstrip(".,;:")
            if not PLACEHOLDER.search(path):
                self.note(path, repo.path_exists(path), where, block, "path")
        if not fenced:
            for path in ROOT_FILE_RE.findall(span):
                self.note(path, repo.path_exists(path), where, block, "file")
        for match in BUILD_PATH_RE.finditer(span):
            self.check_build_path(match.group(1), match.group(2), where, block)
        for command, name in PRESET_FLAG_RE.findall(span):
            self.check_preset(command, name, where, block)
        for match in SIM_RE.finditer(span):
            for option in OPTION_RE.findall(match.group(1)):
                self.note(f"kelmar-sim {option}", option in repo.sim_options, where, block,
                          "simulator option")
        if where.startswith(SIM_README) and not fenced:
            for option in OPTION_RE.findall(span):
                self.note(f"kelmar-sim {option}", option in repo.sim_options, where, block,
                          "simulator option")
        for name in BENCH_RE.findall(span):
            self.note(name, self.under(name, "bench"), where, block, "benchmark")
        for name in FUZZ_RE.findall(span):
            self.note(name, self.under(name, "fuzz"), where, block, "fuzz target")
        for names in TARGET_RE.findall(span):
            for name in names.split():
                self.note(f"target {name}", name == "all" or name in repo.targets, where, block,
                          "CMake target")
        for flag, pattern in CTEST_RE.findall(span):
            pattern = pattern.strip("'\"")
            if PATTERN_PLACEHOLDER.search(pattern):
                continue
            found = any(re.search(pattern, test) for test in repo.tests)
            self.note(f"ctest -{flag} {pattern}", found, where, block, "ctest pattern")
        for pattern in GTEST_FILTER_RE.findall(span):
            pattern = pattern.strip("'\"")
            if PATTERN_PLACEHOLDER.search(pattern):
                continue
            positive = pattern.split("-")[0].split(":")
            found = all(any(fnmatch.fnmatchcase(t, p) for t in repo.tests) for p in positive if p)
            self.note(f"--gtest_filter={pattern}", found, where, block, "GoogleTest filter")

    def under(self, target: str, top: str) -> bool:
        folder = self.repo.targets.get(target)
        return folder is not None and folder.relative_to(self.root).parts[:1] == (top,)

    # build/<preset>/<source folder>/<program>: when the folder is one of the source tree's and
    # the last part has no extension, the folder's CMakeLists.txt defines that program. Other
    # folders under build/ are the scripts' own.
    def check_build_path(self, preset: str, rest: str, where: str, block: Pending | None) -> None:
        parts = [p for p in rest.split("/") if p]
        if (PLACEHOLDER.search(preset + rest) or f"build/{preset}" not in self.repo.binary_dirs
                or len(parts) < 2 or "." in parts[-1]):
            return
        folder = "/".join(parts[:-1])
        if (self.root / folder / "CMakeLists.txt").exists():
            defined = self.repo.targets.get(parts[-1]) == self.root / folder
            self.note(f"build/{preset}{rest}", defined, where, block, "program")

    def check_preset(self, command: str, name: str, where: str, block: Pending | None) -> None:
        command = " ".join(command.split())
        kinds = {"cmake --build": self.repo.build, "ctest": self.repo.test,
                 "cmake": set(self.repo.configure)}
        known = name in kinds.get(command, set(self.repo.configure))
        self.note(f"preset {name}", known, where, block, f"{command or 'the'} preset".strip())

    def check_preset_words(self, line: str, where: str, block: Pending | None) -> None:
        for group in PRESET_WORD_RE.findall(line) + PRESET_AFTER_RE.findall(line):
            for name in re.findall(r"`([\w-]+)`", group):
                self.note(f"preset {name}", name in self.repo.configure, where, block, "preset")

    # Everything of these kinds must be named somewhere.
    def check_coverage(self) -> None:
        repo = self.repo
        developing = self.keys_by_document.get(DEVELOPING, set())
        everywhere = set().union(*self.keys_by_document.values())
        for name, preset in repo.configure.items():
            if not preset.get("hidden") and f"preset {name}" not in developing:
                self.errors.append(f"{DEVELOPING}: the preset `{name}` is not described")
        for script in sorted((self.root / "scripts").glob("*.sh")):
            key = f"scripts/{script.name}"
            if key not in everywhere:
                self.errors.append(f"no document names `{key}`")
        for stage in repo.ci_stages:
            if stage not in developing:
                self.errors.append(f"{DEVELOPING}: the CI stage `{stage}` is not described")
        for target, folder in repo.targets.items():
            top = folder.relative_to(self.root).parts[:1]
            named = any(k == target or k.endswith("/" + target) for k in developing)
            if top in (("bench",), ("fuzz",)) and not named:
                self.errors.append(f"{DEVELOPING}: `{target}` is not described")
        simulator = self.keys_by_document.get(SIM_README, set())
        for option in sorted(repo.sim_options - {"--help"}):
            if f"kelmar-sim {option}" not in simulator:
                self.errors.append(f"{SIM_README}: the option `{option}` is not described")


# The string literals of the C++ sources, comments left out and adjacent literals joined, split
# at Qt's %1 markers.
CXX_TOKEN = re.compile(r'//[^\n]*|/\*.*?\*/|"((?:\\.|[^"\\\n])*)"|\'(?:\\.|[^\'\\\n])\'|\s+|.',
                       re.S)


def program_texts(folder: Path) -> set[str]:
    texts: set[str] = set()
    for path in list(folder.rglob("*.cpp")) + list(folder.rglob("*.h")):
        joined: str | None = None
        pieces: list[str] = []
        for token in CXX_TOKEN.finditer(path.read_text(errors="replace")):
            if token.group(1) is not None or token.group(0).startswith('"'):
                joined = (joined or "") + (token.group(1) or "").replace('\\"', '"')
            elif token.group(0).isspace() or token.group(0).startswith(("//", "/*")):
                continue
            elif joined is not None:
                pieces.append(joined)
                joined = None
        pieces += [joined] if joined is not None else []
        for piece in pieces:
            texts.update(part for part in re.split(r"%\d", piece) if part)
    return texts


def heading_anchors(document: Path) -> set[str]:
    anchors = set()
    for line in document.read_text().splitlines():
        if line.startswith("#"):
            title = line.lstrip("#").strip().lower()
            title = re.sub(r"[^\w\s-]", "", title)
            anchors.add(re.sub(r"\s", "-", title))
    return anchors


def main() -> int:
    if len(sys.argv) not in (2, 3) or sys.argv[2:] not in ([], ["--list"]):
        print(__doc__, file=sys.stderr)
        return 2
    checker = Checker(Path(sys.argv[1]).resolve())
    checker.check_documents()
    checker.check_coverage()
    kinds: dict[str, int] = {}
    for name in checker.names:
        kinds[name.what] = kinds.get(name.what, 0) + 1
    print(f"{len(checker.names)} names checked: " +
          ", ".join(f"{kind} {count}" for kind, count in sorted(kinds.items())))
    if sys.argv[2:] == ["--list"]:
        for name in checker.names:
            print(f"{name.where}: {name.what} `{name.key}`" + ("" if name.exists else " MISSING"))
    for block in checker.pending:
        print(f"pending {block.issue} ({block.where}): {', '.join(block.keys)}")
    for error in checker.errors:
        print(f"ERROR {error}")
    return 1 if checker.errors else 0


if __name__ == "__main__":
    sys.exit(main())
