#!/usr/bin/python3
"""Fails when a file includes a module above its own, or when plain-C++ code includes Qt.

A module may include itself and the modules listed for it below (transitively lower).
"""
import os
import re
import sys

# module folder -> modules it may include (besides itself)
ALLOWED = {
    "platform/base": [],
    "platform": ["platform/base"],
    "ui/translation": ["platform"],
    "records/core": ["platform"],
    "records": ["platform", "ui/translation", "records/core"],
    "engine": ["platform", "ui/translation", "records"],
    "coordination": ["platform", "ui/translation", "records", "engine"],
    "ui": ["platform", "records", "engine", "coordination"],
    "services": ["platform", "ui/translation", "records", "engine", "coordination"],
    "integration": ["platform", "ui/translation", "records", "coordination"],
    "webgrip": ["platform", "records/core"],
    "plugins": ["platform", "records/core", "webgrip"],
    "app": ["platform", "ui/translation", "records", "engine", "coordination", "ui", "services",
            "integration", "webgrip", "plugins"],
}
# Folders that must build without Qt (the browser libraries link them).
PLAIN_CPP = ["platform/base", "platform/registry", "platform/com", "platform/npapi",
             "records/core", "webgrip", "plugins"]
SOURCE = re.compile(r"\.(h|hpp|cpp|cc)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^">]+)[">]')


def module_of(path):
    """The most specific module folder a repository path belongs to."""
    best = None
    for module in ALLOWED:
        if path == module or path.startswith(module + "/"):
            if best is None or len(module) > len(best):
                best = module
    return best


def within(path, folders):
    return any(path == f or path.startswith(f + "/") for f in folders)


def main(root):
    problems = []
    for module in ALLOWED:
        base = os.path.join(root, module)
        for folder, _, files in os.walk(base):
            for name in files:
                if not SOURCE.search(name):
                    continue
                full = os.path.join(folder, name)
                rel = os.path.relpath(full, root)
                own = module_of(rel)
                if own != module:
                    continue  # checked under its more specific module
                with open(full, encoding="utf-8", errors="replace") as text:
                    for number, line in enumerate(text, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = match.group(1)
                        if within(rel, PLAIN_CPP) and re.match(r"Q[A-Za-z]*(/|$)", target):
                            problems.append(f"{rel}:{number}: plain C++ code includes Qt <{target}>")
                        if not os.path.exists(os.path.join(root, target)):
                            continue  # a system or library header
                        their = module_of(target)
                        if their is None or their == own:
                            continue
                        if not within(their, ALLOWED[own]):
                            problems.append(f"{rel}:{number}: {own} includes {target} ({their})")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
