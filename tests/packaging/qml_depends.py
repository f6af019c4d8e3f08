#!/usr/bin/env python3
"""Checks that a package depends on every QML module the views load.

    qml_depends.py DEPENDS SOURCE_DIR [TRACE_LOG]

DEPENDS is the package's Depends field. The QML modules come from the
"import" lines of SOURCE_DIR/src/ui (our own modules left out), followed
through the "import" and "depends" lines of their qmldir files; with
TRACE_LOG (the output of a run with QML_IMPORT_TRACE=1) also every qmldir the
engine really read. Each module's qmldir is looked up on this machine and its
Debian package named with dpkg -S; every such package must be in DEPENDS.
"""
import glob
import os
import re
import subprocess
import sys

# The QtQml module is built into the QML library itself (libqt6qml6) when
# its own package is not installed; what it imports in turn (every QtQuick
# import reaches it) still comes from packages.
BUILT_IN = {"QtQml": ["QtQml.WorkerScript"]}


def qml_root():
    out = subprocess.run(["qtpaths6", "--query", "QT_INSTALL_QML"], capture_output=True, text=True, check=True)
    return out.stdout.strip()


def own_modules(source):
    text = open(os.path.join(source, "src/ui/CMakeLists.txt"), encoding="utf-8").read()
    return set(re.findall(r"\bURI\s+([\w.]+)", text))


def imports_of(lines):
    """Module URIs of "import URI [version] [as X]" lines (files and folders left out)."""
    for line in lines:
        m = re.match(r"\s*(?:import|depends)\s+([A-Za-z_][\w.]*)", line)
        if m:
            yield m.group(1)


def owners(paths):
    """{path: package} from dpkg -S."""
    if not paths:
        return {}
    out = subprocess.run(["dpkg", "-S", *paths], capture_output=True, text=True).stdout
    result = {}
    for line in out.splitlines():
        package, _, path = line.partition(": ")
        result[path.strip()] = package.split(":")[0]
    return result


def main():
    depends, source = sys.argv[1:3]
    trace = sys.argv[3] if len(sys.argv) > 3 else None
    root = qml_root()
    listed = {alt.split("(")[0].strip() for clause in depends.split(",") for alt in clause.split("|")}
    failures = []

    # Modules reached from our import lines: {uri: where it was imported}.
    ours = own_modules(source)
    pending = []
    for qml in sorted(glob.glob(os.path.join(source, "src/ui/*.qml")) + glob.glob(os.path.join(source, "src/ui/*.js"))):
        with open(qml, encoding="utf-8") as f:
            pending += [(uri, os.path.relpath(qml, source)) for uri in imports_of(f) if uri not in ours]
    needed = {}  # qmldir path -> reason
    seen = set()
    while pending:
        uri, reason = pending.pop()
        if uri in seen:
            continue
        seen.add(uri)
        qmldir = os.path.join(root, *uri.split("."), "qmldir")
        if not os.path.isfile(qmldir):
            if uri in BUILT_IN:
                pending += [(dep, uri) for dep in BUILT_IN[uri]]
            else:
                failures.append(f"{uri} (imported by {reason}) is not installed here, so its package is unknown")
            continue
        needed[qmldir] = f"{uri} (imported by {reason})"
        with open(qmldir, encoding="utf-8") as f:
            pending += [(dep, uri) for dep in imports_of(f)]

    if trace:
        with open(trace, encoding="utf-8", errors="replace") as f:
            for path in set(re.findall(r'(/[^"\s]*/qmldir)\b', f.read())):
                if path.startswith(root + "/"):
                    uri = os.path.relpath(os.path.dirname(path), root).replace("/", ".")
                    needed.setdefault(os.path.realpath(path), f"{uri} (loaded at run time)")

    packages = owners(sorted(needed))
    for qmldir, reason in sorted(needed.items()):
        package = packages.get(qmldir)
        if not package:
            failures.append(f"{reason}: no package owns {qmldir}")
        elif package not in listed:
            failures.append(f"{reason}: {package} is not in Depends")
        else:
            print(f"ok {package:32} {reason}")

    for failure in failures:
        print(failure)
    return 1 if failures or not needed else 0


if __name__ == "__main__":
    sys.exit(main())
