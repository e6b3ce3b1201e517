#!/usr/bin/env python3
"""The documentation check against copies of the source tree in which one named thing is gone,
renamed or added. Usage: check_docs_test.py SOURCE_DIR"""

from __future__ import annotations

import re
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import check_docs  # noqa: E402

SOURCE = Path(sys.argv.pop(1) if len(sys.argv) > 1 else ".").resolve()


class CopiedTree(unittest.TestCase):
    def setUp(self) -> None:
        self.folder = tempfile.TemporaryDirectory()
        self.root = Path(self.folder.name) / "tree"
        shutil.copytree(SOURCE, self.root, symlinks=True,
                        ignore=lambda d, names: [n for n in names
                                                 if Path(d) == SOURCE and n in ("build", ".git")])

    def tearDown(self) -> None:
        self.folder.cleanup()

    def errors(self) -> list[str]:
        checker = check_docs.Checker(self.root)
        checker.check_documents()
        checker.check_coverage()
        return checker.errors

    def edit(self, relative: str, old: str, new: str) -> None:
        path = self.root / relative
        text = path.read_text()
        self.assertIn(old, text)
        path.write_text(text.replace(old, new))

    def add_document(self, text: str) -> None:
        (self.root / "docs" / "extra.md").write_text(text)

    def assertErrorNaming(self, fragment: str) -> None:
        errors = self.errors()
        self.assertTrue(any(fragment in e for e in errors), f"no error names {fragment}: {errors}")


class NamedThingsDisappear(CopiedTree):
    def test_the_tree_as_it_is_passes(self) -> None:
        self.assertEqual(self.errors(), [])

    def test_a_removed_script(self) -> None:
        (self.root / "scripts/tsan.sh").unlink()
        self.assertErrorNaming("`scripts/tsan.sh` does not exist")

    def test_a_renamed_preset(self) -> None:
        self.edit("CMakePresets.json", '"name": "tsan"', '"name": "thread"')
        self.assertErrorNaming("`preset tsan` does not exist")
        self.assertErrorNaming("the preset `thread` is not described")

    def test_a_removed_simulator_option(self) -> None:
        self.edit("tools/kelmar-sim/SimOptions.cpp", '"--baud"', '"--line-rate"')
        self.assertErrorNaming("`kelmar-sim --baud` does not exist")
        self.assertErrorNaming("the option `--line-rate` is not described")

    def test_a_removed_benchmark(self) -> None:
        self.edit("bench/port/CMakeLists.txt", "add_executable(bench_replug",
                  "add_executable(bench_unplug")
        self.assertErrorNaming("`build/release/bench/port/bench_replug` does not exist")

    def test_a_removed_fuzz_target(self) -> None:
        self.edit("fuzz/CMakeLists.txt", "quorvel_add_fuzzer(engine", "quorvel_add_fuzzer(poll")
        self.assertErrorNaming("`fuzz_engine` does not exist")
        self.assertErrorNaming("`fuzz_poll` is not described")

    def test_a_removed_cmake_target(self) -> None:
        path = self.root / "cmake/WindowsDist.cmake"
        path.write_text(path.read_text().replace("quorvel_dist", "quorvel_zip"))
        self.assertErrorNaming("`target quorvel_dist` does not exist")

    def test_a_test_pattern_that_matches_nothing(self) -> None:
        self.add_document("Run `ctest --preset release -R '^NoSuchSuite\\.'` alone.\n")
        self.assertErrorNaming("`ctest -R ^NoSuchSuite\\.` does not exist")

    def test_a_gtest_filter_that_matches_nothing(self) -> None:
        self.add_document("`build/release/tests/gui/quorvel_window_tests "
                          "--gtest_filter=NoSuchSuite.*`\n")
        self.assertErrorNaming("`--gtest_filter=NoSuchSuite.*` does not exist")

    def test_a_broken_link_and_anchor(self) -> None:
        self.add_document("[gone](gone.md), [nowhere](DEVELOPING.md#no-such-heading)\n")
        self.assertErrorNaming("`link gone.md` does not exist")
        self.assertErrorNaming("`link DEVELOPING.md#no-such-heading` does not exist")


class EverythingIsNamed(CopiedTree):
    def test_a_new_script_nobody_names(self) -> None:
        (self.root / "scripts/new-lane.sh").write_text("#!/bin/sh\n")
        self.assertErrorNaming("no document names `scripts/new-lane.sh`")

    def test_a_new_ci_stage(self) -> None:
        self.edit(".ci/run", "bash scripts/test.sh\n",
                  "bash scripts/test.sh\nbash scripts/new-lane.sh\n")
        (self.root / "scripts/new-lane.sh").write_text("#!/bin/sh\n")
        self.assertErrorNaming("the CI stage `scripts/new-lane.sh` is not described")


class WindowTexts(CopiedTree):
    def test_a_text_the_window_no_longer_shows(self) -> None:
        self.edit("src/gui/MainWindowBuild.cpp", '"Nulláz"', '"Nullázás"')
        self.assertErrorNaming("window text `text Nulláz` does not exist")

    def test_a_quote_the_program_never_wrote(self) -> None:
        path = self.root / "docs/user-guide.md"
        path.write_text(path.read_text() + '\nPress "Nyit most" to open the port.\n')
        self.assertErrorNaming("window text `text Nyit most` does not exist")

    def test_a_value_between_two_literals_is_allowed_a_sentence_is_not(self) -> None:
        path = self.root / "docs/hasznalati-utmutato.md"
        path.write_text(path.read_text() +
                        "\n„A(z) COM7 port eltűnt: a kapcsolat magától újranyílik, amint"
                        "\nvisszatér”, de „A(z) a soros vonal port eltűnt: a kapcsolat”.\n")
        errors = self.errors()
        self.assertFalse(any("COM7" in e for e in errors), errors)
        self.assertTrue(any("soros vonal" in e for e in errors), errors)


class PendingSections(CopiedTree):
    SECTION = ("<!-- pending issue-99: scripts/later.sh, preset later -->\n"
               "Run `bash scripts/later.sh` after `cmake --preset later`.\n"
               "<!-- /pending -->\n")

    def test_missing_names_it_lists_are_tolerated(self) -> None:
        self.add_document(self.SECTION)
        self.assertEqual(self.errors(), [])

    def test_a_missing_name_it_does_not_list(self) -> None:
        self.add_document(self.SECTION.replace("later.sh`", "later.sh` and `scripts/other.sh`"))
        self.assertErrorNaming("`scripts/other.sh` does not exist")

    def test_a_listed_name_that_exists_means_the_issue_landed(self) -> None:
        self.add_document(self.SECTION)
        (self.root / "scripts/later.sh").write_text("#!/bin/sh\n")
        self.assertErrorNaming("`scripts/later.sh` exists now: issue-99 has landed")

    def test_a_listed_name_the_section_does_not_name(self) -> None:
        self.add_document(self.SECTION.replace("preset later -->", "preset later, fuzz_x -->"))
        self.assertErrorNaming("lists `fuzz_x`, which its section does not name")

    def test_outside_the_section_the_same_name_fails(self) -> None:
        self.add_document(self.SECTION + "Then `scripts/later.sh` again.\n")
        self.assertErrorNaming("`scripts/later.sh` does not exist")

    def test_an_unclosed_section(self) -> None:
        self.add_document(re.sub(r"<!-- /pending -->\n", "", self.SECTION))
        self.assertErrorNaming("the pending marker is never closed")


if __name__ == "__main__":
    unittest.main(verbosity=2)
