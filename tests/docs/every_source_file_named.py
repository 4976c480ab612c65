"""Every source file of the repository is named in the source tree of
docs/DEVELOPING.md, and every source file named there exists.

A source file is a file whose name ends in .cpp, .h, .py, .pyi or .sh, a
CMakeLists.txt or a Makefile, or a file that begins with "#!" (a script).
Build folders, caches and hidden folders other than .ci/ are not walked.

The section "## Source tree" is divided by headings that name a folder in
backquotes (### `driver/`; ### `./` for the top folder). A file counts as
named when its name stands in backquotes under the heading of its folder,
or its path from the repository's top stands in backquotes anywhere in the
section.

    every_source_file_named.py REPOSITORY
"""

import os
import re
import sys
from pathlib import Path

SOURCE_SUFFIXES = (".cpp", ".h", ".py", ".pyi", ".sh")
SOURCE_NAMES = ("CMakeLists.txt", "Makefile")
SECTION = "## Source tree"


def skipped_folder(relative):
    """Folders that hold no source: builds, caches, hidden folders."""
    name = relative.name
    if name == "__pycache__" or name.endswith(".egg-info"):
        return True
    if name.startswith(".") and relative.as_posix() != ".ci":
        return True
    top = relative.parts[0]
    return top.startswith("build") or top == "scratch" or relative.as_posix() == "python/build"


def named_as_source(name):
    return name.endswith(SOURCE_SUFFIXES) or name in SOURCE_NAMES


def is_source(path):
    if named_as_source(path.name):
        return True
    try:
        with path.open("rb") as file:
            return file.read(2) == b"#!"
    except OSError:
        return False


def source_files(repository):
    found = []
    for folder, subfolders, files in os.walk(repository):
        here = Path(folder).relative_to(repository)
        subfolders[:] = sorted(s for s in subfolders if not skipped_folder(here / s))
        for name in sorted(files):
            if is_source(Path(folder) / name):
                found.append((here / name).as_posix())
    return found


def source_tree_section(text):
    start = text.index("\n" + SECTION + "\n")
    end = text.find("\n## ", start + 1)
    return text[start:] if end < 0 else text[start:end]


def named_paths(section):
    """The paths the section names: (path from the top, line of the section)."""
    folder = ""
    named = []
    for number, line in enumerate(section.splitlines(), 1):
        quoted = re.findall(r"`([^`\s]+)`", line)
        if line.startswith("###"):
            folders = [q for q in quoted if q.endswith("/")]
            if folders:
                folder = "" if folders[0] == "./" else folders[0]
            continue
        for name in quoted:
            named.append((name, folder + name, number))
    return named


def names_a_source_file(name):
    """Whether a quoted word is a source file's name or path (not ".cpp",
    not a pattern such as "*.cpp")."""
    if not re.fullmatch(r"[\w./-]+", name):
        return False
    path = Path(name)
    return named_as_source(path.name) and path.stem not in SOURCE_SUFFIXES


def main(repository):
    repository = Path(repository)
    section = source_tree_section((repository / "docs" / "DEVELOPING.md").read_text())
    named = named_paths(section)
    mentioned = {path for _, path, _ in named} | {name for name, _, _ in named}
    unnamed = [path for path in source_files(repository) if path not in mentioned]
    gone = [(name, number) for name, path, number in named
            if names_a_source_file(name)
            and not (repository / path).exists() and not (repository / name).exists()]
    for path in unnamed:
        print(f"not named in the source tree of docs/DEVELOPING.md: {path}")
    for name, number in gone:
        print(f"named in the source tree of docs/DEVELOPING.md (line {number} of the section), "
              f"but no such file: {name}")
    return 1 if unnamed or gone else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
