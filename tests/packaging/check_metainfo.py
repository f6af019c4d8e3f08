#!/usr/bin/env python3
"""Checks what the software-centre metadata says against the source tree.

    check_metainfo.py METAINFO SOURCE_DIR PROJECT_VERSION

The newest release is the project's version, every screenshot is a file in
docs/, the launchable is the desktop entry in data/ and the URL scheme it
provides is the one that entry handles.
"""
import os
import sys
import xml.etree.ElementTree as ET


def main():
    metainfo, source, version = sys.argv[1:4]
    root = ET.parse(metainfo).getroot()
    failures = []

    releases = root.findall("releases/release")
    if not releases or releases[0].get("version") != version:
        newest = releases[0].get("version") if releases else "none"
        failures.append(f"the newest release is {newest}, the project is at {version}")

    images = [image.text.strip() for image in root.findall("screenshots/screenshot/image")]
    if not images:
        failures.append("no screenshots")
    for image in images:
        if not os.path.isfile(os.path.join(source, "docs", os.path.basename(image))):
            failures.append(f"screenshot {os.path.basename(image)} is not in docs/")

    entry = root.findtext("launchable[@type='desktop-id']", "").strip()
    entry_path = os.path.join(source, "data", entry)
    if not entry or not os.path.isfile(entry_path):
        failures.append(f"launchable '{entry}' is not a desktop entry in data/")
    else:
        with open(entry_path, encoding="utf-8") as f:
            mime_line = next((line for line in f if line.startswith("MimeType=")), "MimeType=")
        handled = set(filter(None, mime_line.strip().split("=", 1)[1].split(";")))
        provided = {m.text.strip() for m in root.findall("provides/mediatype")}
        if provided != handled:
            failures.append(f"provided media types {sorted(provided)} differ from the entry's {sorted(handled)}")

    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
