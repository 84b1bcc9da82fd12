#!/usr/bin/env python3
"""Every relative link in the README and docs/, and every #anchor, resolves."""

import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
LINK = re.compile(r"\]\(([^)\s]+)\)")


def anchors(markdown):
    """The anchors of a file's headings, as a renderer of Markdown makes them."""
    slugs = set()
    for heading in re.findall(r"^#+ +(.+)$", markdown, re.MULTILINE):
        slug = re.sub(r"[^\w\- ]", "", heading.lower().replace("`", "")).replace(" ", "-")
        slugs.add(slug)
    return slugs


def broken_links():
    for page in [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]:
        for target in LINK.findall(page.read_text()):
            if re.match(r"[a-z]+:", target):
                continue
            path, _, anchor = target.partition("#")
            linked = (page.parent / path).resolve() if path else page
            if not linked.exists():
                yield f"{page.relative_to(ROOT)}: {target}: no such file"
            elif anchor and anchor not in anchors(linked.read_text()):
                yield f"{page.relative_to(ROOT)}: {target}: no such heading"


if __name__ == "__main__":
    broken = list(broken_links())
    print("\n".join(broken) or "every link resolves")
    sys.exit(1 if broken else 0)
