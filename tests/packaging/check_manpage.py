#!/usr/bin/env python3
"""Checks that the man page describes the options the program takes.

    check_manpage.py PROGRAM MANPAGE

Every option of "PROGRAM --help" (with the name of its value) has a paragraph
in the man page's OPTIONS section and the section names no other option; the
version in the page's header is the one "PROGRAM --version" prints.
"""
import re
import subprocess
import sys


def help_options(text):
    """{option: value name or ''} from the option column of --help."""
    options = {}
    for line in text.splitlines():
        m = re.match(r"^  (-\S.*?)(?:\s{2,}|$)", line)
        if not m:
            continue
        for part in m.group(1).split(", "):
            name, _, value = part.partition(" ")
            options[name] = value.strip("<>")
    return options


def man_options(text):
    """{option: value name or ''} from the tagged paragraphs under OPTIONS."""
    section = re.search(r"^\.SH OPTIONS\n(.*?)^\.SH ", text, re.S | re.M)
    if not section:
        return {}
    options = {}
    lines = section.group(1).splitlines()
    for tp, tag in zip(lines, lines[1:]):
        if tp != ".TP":
            continue
        macro, _, rest = tag.partition(" ")
        words = re.findall(r'"[^"]*"|\S+', rest.replace("\\-", "-"))
        words = [w.strip('"').strip() for w in words]
        if macro == ".BI":  # option, then the italic value name
            options[words[0]] = words[1] if len(words) > 1 else ""
        elif macro in (".B", ".BR"):  # options, with separators between
            for word in words:
                if word.startswith("-"):
                    options[word] = ""
    return options


def main():
    program, manpage = sys.argv[1:3]
    run = lambda *args: subprocess.run([program, *args], capture_output=True, text=True, check=True).stdout
    page = open(manpage, encoding="utf-8").read()
    failures = []

    documented, offered = man_options(page), help_options(run("--help"))
    if not offered:
        failures.append("no options found in --help")
    for option, value in sorted(offered.items()):
        if option not in documented:
            failures.append(f"{option} is in --help but not in the man page")
        elif documented[option] != value:
            failures.append(f"{option}: --help names its value '{value}', the man page '{documented[option]}'")
    for option in sorted(set(documented) - set(offered)):
        failures.append(f"{option} is in the man page but not in --help")

    version = run("--version").split()[-1]
    header = re.search(r"^\.TH .*\"quillmere-menubar ([^\"]+)\"", page, re.M)
    if not header or header.group(1) != version:
        failures.append(f"the man page's header does not name version {version}")

    for failure in failures:
        print(failure)
    print(f"{len(offered)} options compared, {len(failures)} differences")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
