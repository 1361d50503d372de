#!/usr/bin/env python3
"""Checks the layers of the code against scripts/include_rules and names every place that crosses
one: an #include, a mention of another layer's namespace (a hand-written declaration of its
functions), or a link between the libraries of the CMakeLists.txt files.

Usage: scripts/check_layers.py [source root]   checks the tree (default: this script's checkout)
       scripts/check_layers.py --self-test [-v]  proves, on scratch copies, that each wrong way
                                                 planted into this tree fails the check

A layer is a folder with a rule; it holds its sub-folders, save those with a rule of their own. A
file whose folder lies in no layer may include nothing outside that folder.
"""

import os
import re
import shutil
import sys
import tempfile
from pathlib import Path, PurePosixPath

CPP_EXTENSIONS = {".c", ".cc", ".cpp", ".cxx", ".c++", ".cp", ".C", ".h", ".hh", ".hpp", ".hxx",
                  ".h++", ".H", ".inc", ".inl", ".ipp", ".tcc", ".tpp", ".ixx", ".cppm"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
CMAKE_COMMAND = re.compile(r"\b(\w+)\s*\(([^)]*)\)", re.S)
LINK_KEYWORDS = {"PUBLIC", "PRIVATE", "INTERFACE", "LINK_PUBLIC", "LINK_PRIVATE",
                 "LINK_INTERFACE_LIBRARIES"}
TARGET_KINDS = {"STATIC", "SHARED", "MODULE", "OBJECT", "INTERFACE", "WIN32", "MACOSX_BUNDLE",
                "EXCLUDE_FROM_ALL", "IMPORTED", "GLOBAL", "ALIAS"}
RULES_FILE = "scripts/include_rules"


class Rules:
    def __init__(self, text):
        self.allowed = {}     # layer -> the layers it may use
        self.namespaces = {}  # namespace -> the layers whose code it is
        self.problems = []
        for number, line in enumerate(text.splitlines(), 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            head, _, tail = line.partition(":")
            words = tail.split()
            if head.startswith("namespace "):
                self.namespaces[head.split()[1]] = set(words)
            else:
                self.allowed[head.strip()] = set(words)
        for layer, uses in self.allowed.items():
            for used in sorted(uses - set(self.allowed)):
                self.problems.append(f"{RULES_FILE}: {layer}: names {used}, which has no rule")
        for namespace, owners in self.namespaces.items():
            for owner in sorted(owners - set(self.allowed)):
                self.problems.append(
                    f"{RULES_FILE}: namespace {namespace}: names {owner}, which has no rule")

    def layer_of(self, folder):
        """The layer that holds a folder (a path from the source root), or None."""
        path = PurePosixPath(folder)
        for candidate in [path, *path.parents]:
            if str(candidate) in self.allowed:
                return str(candidate)
        return None

    def may_use(self, layer, other):
        return other == layer or other in self.allowed.get(layer, ())


def source_files(root):
    """Every C++ file below the root, at any depth, but for build trees and hidden folders."""
    for folder, subfolders, files in os.walk(root):
        relative = Path(folder).relative_to(root)
        subfolders[:] = sorted(
            name for name in subfolders
            if not name.startswith(".") and not (relative == Path(".") and name.startswith("build")))
        for name in sorted(files):
            if Path(name).suffix in CPP_EXTENSIONS:
                yield (relative / name).as_posix()


def top_folders(root):
    return {entry.name for entry in Path(root).iterdir()
            if entry.is_dir() and not entry.name.startswith(".")}


def strip_comments(text):
    """The C++ text without its comments and string literals' contents, line numbers kept."""
    pattern = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'', re.S)

    def blank(match):
        found = match.group(0)
        if found.startswith('"'):
            return '""'
        return re.sub(r"[^\n]", " ", found)
    return pattern.sub(blank, text)


def check_file(root, rules, file, ours, problems):
    folder = str(PurePosixPath(file).parent)
    layer = rules.layer_of(folder)
    where = f"{layer}/" if layer else f"{folder}/ (no rule: only its own folder)"
    text = (Path(root) / file).read_text(encoding="utf-8", errors="replace")

    def allowed(header_folder):
        if layer is None:
            return header_folder == folder or header_folder.startswith(folder + "/")
        return rules.may_use(layer, rules.layer_of(header_folder))

    for number, line in enumerate(text.splitlines(), 1):
        found = INCLUDE.match(line)
        if not found:
            continue
        bracket, header = found.groups()
        place = f"{file}:{number}"
        first = header.split("/", 1)[0]
        if bracket == "<":
            if "/" in header and first in ours:
                problems.append(f"{place}: includes <{header}>: our headers are included as "
                                f'"{header}", which the layer rules check')
            continue
        beside = os.path.normpath(os.path.join(folder, header))
        if (Path(root) / beside).is_file() and not beside.startswith(".."):
            resolved = beside  # the compiler looks beside the including file first
        elif (Path(root) / header).is_file():
            resolved = os.path.normpath(header)
        else:
            problems.append(f'{place}: includes "{header}", which names no file of the tree')
            continue
        header_folder = str(PurePosixPath(resolved).parent)
        if not allowed(header_folder):
            problems.append(f'{place}: includes "{header}", which {where} may not '
                            f"({RULES_FILE})")

    if layer is None:
        return
    code = strip_comments(text)
    for namespace, owners in rules.namespaces.items():
        if any(rules.may_use(layer, owner) for owner in owners):
            continue
        mention = re.compile(rf"\bnamespace\s+(?:\w+\s*::\s*)*{namespace}\b|\b{namespace}\s*::")
        for match in mention.finditer(code):
            number = code.count("\n", 0, match.start()) + 1
            problems.append(f"{file}:{number}: names the namespace {namespace}, the code of "
                            f"{' '.join(sorted(owners))}, which {where} may not use "
                            f"({RULES_FILE})")


def cmake_commands(text):
    text = re.sub(r"#[^\n]*", "", text)
    for match in CMAKE_COMMAND.finditer(text):
        yield match.group(1).lower(), match.group(2).split(), text.count("\n", 0, match.start()) + 1


def check_links(root, rules, problems):
    """Each library or program belongs to the layer of its CMakeLists.txt and to those of its
    sources; it may link the libraries of the layers that these may use."""
    targets = {}  # name -> (the layer of its CMakeLists.txt, the layers of its sources)
    links = []    # (file, line, target, linked name)
    for lists in sorted(Path(root).rglob("CMakeLists.txt")):
        relative = lists.relative_to(root)
        if any(part.startswith(".") or part.startswith("build") for part in relative.parts[:1]):
            continue
        folder = relative.parent.as_posix()
        text = lists.read_text(encoding="utf-8", errors="replace")
        for command, words, number in cmake_commands(text):
            if command in ("add_library", "add_executable", "target_sources") and words:
                name = words[0]
                own = targets.setdefault(name, (rules.layer_of(folder), set()))
                for word in words[1:]:
                    if word in TARGET_KINDS or "$" in word or word in LINK_KEYWORDS:
                        continue
                    source = os.path.normpath(os.path.join(folder, word))
                    own[1].add(rules.layer_of(str(PurePosixPath(source).parent)))
            elif command == "target_link_libraries" and words:
                for word in words[1:]:
                    if word not in LINK_KEYWORDS:
                        links.append((relative.as_posix(), number, words[0], word))
    for file, number, name, linked in links:
        if linked not in targets or name not in targets:
            continue  # a system library or an imported target
        layer, sources = targets[name]
        linked_layer = targets[linked][0]
        users = {layer, *sources} - {None}
        if not any(rules.may_use(user, linked_layer) for user in users):
            problems.append(f"{file}:{number}: {name} links {linked} ({linked_layer}/), which "
                            f"{' '.join(sorted(users)) or 'a folder without a rule'} may not use "
                            f"({RULES_FILE})")


def check(root):
    rules = Rules((Path(root) / RULES_FILE).read_text(encoding="utf-8"))
    problems = list(rules.problems)
    for layer in rules.allowed:
        if not (Path(root) / layer).is_dir():
            problems.append(f"{RULES_FILE}: {layer}: no such folder")
    ours = top_folders(root)
    for file in source_files(root):
        check_file(root, rules, file, ours, problems)
    check_links(root, rules, problems)
    return problems


# The wrong ways that the check must catch, each planted into a scratch copy of the tree: the file
# it writes, whether it appends to the file or makes it, and what it writes.
PLANTS = [
    ("core/error.h", "a", '#include "platform/program_main.h"\n'),
    ("mappix/frm_import.cpp", "a", '#include "localstore/store.h"\n'),
    ("platform/linux/desktop.cpp", "a", '#include "platform/win32/handle.h"\n'),
    ("platform/linux/file_manager/entry_files.cpp", "a", '#include "localstore/store.h"\n'),
    ("mappix/frm_import.cpp", "a", "#include <platform/program_main.h>\n"),
    ("tresolo/frm_store_docs.cpp", "a", "#include <localstore/store.h>\n"),
    ("core/detail/leak.h", "w", '#pragma once\n#include "platform/program_main.h"\n'),
    ("core/leak.cc", "w", '#include "localstore/store.h"\n'),
    ("menorix/leak.hpp", "w", '#pragma once\n#include "platform/win32/handle.h"\n'),
    ("mappix/frm_import.cpp", "a",
     "namespace kartiva::localstore {\nint CheckStore(const char* root);\n}\n"),
    ("core/CMakeLists.txt", "a", "target_link_libraries(kartiva_core PUBLIC kartiva_localstore)\n"),
    ("ruleless/leak.cpp", "w", '#include "core/error.h"\n'),
    ("mappix/frm_import.cpp", "a", '#include "../localstore/store.h"\n'),
]


def self_test(root, verbose=False):
    if problems := check(root):
        print("\n".join(problems), file=sys.stderr)
        return 1
    failed = 0
    with tempfile.TemporaryDirectory() as scratch:
        copy = Path(scratch) / "tree"
        # The check reads only the C++ files, the CMakeLists.txt files and the rules.
        shutil.copytree(root, copy, ignore=lambda folder, names: [
            name for name in names
            if name.startswith(".") or (Path(folder) == Path(root) and name.startswith("build"))
            or ((Path(folder) / name).is_file() and Path(name).suffix not in CPP_EXTENSIONS
                and name != "CMakeLists.txt" and Path(folder, name) != Path(root, RULES_FILE))])
        for file, mode, text in PLANTS:
            target = copy / file
            before = target.read_bytes() if target.exists() else None
            target.parent.mkdir(parents=True, exist_ok=True)
            with open(target, mode, encoding="utf-8") as planted:
                planted.write(text)
            caught = [problem for problem in check(copy) if problem.startswith(file + ":")]
            if not caught:
                print(f"the layer check let {file} take in: {text.strip()}", file=sys.stderr)
                failed = 1
            elif verbose:
                print("\n".join(caught))
            if before is None:
                target.unlink()
            else:
                target.write_bytes(before)
    return failed


def main(arguments):
    here = Path(__file__).resolve().parent.parent
    if arguments and arguments[0] == "--self-test":
        return self_test(here, verbose=arguments[1:] == ["-v"])
    problems = check(Path(arguments[0]) if arguments else here)
    print("\n".join(problems), file=sys.stderr, end="\n" if problems else "")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
