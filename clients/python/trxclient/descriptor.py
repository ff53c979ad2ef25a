"""Object descriptors: the nested <Obj ClassName=".." RepositoryName=".."/> text
that names an object, built one level at a time.

    app / ("NorvScreen", "Accounts Screen") / ("NorvView", "Account List View")
    app / "NorvScreen[Accounts Screen]/NorvView[Account List View]"

The first level always stands for the application, whatever its names say.
"""

from __future__ import annotations

import xml.etree.ElementTree as ElementTree

ROOT = ("NorvApplication", "Norvik")


def _escape(text: str) -> str:
    """An attribute value as the service writes it: & < > " as entities,
    characters below U+0020 as character references."""
    out = []
    for c in text:
        if c == "&":
            out.append("&amp;")
        elif c == "<":
            out.append("&lt;")
        elif c == ">":
            out.append("&gt;")
        elif c == '"':
            out.append("&quot;")
        elif ord(c) < 0x20:
            out.append(f"&#{ord(c)};")
        else:
            out.append(c)
    return "".join(out)


def parse_path(path: str) -> list[tuple[str, str]]:
    """The levels of a short path "Class[name]/Class[name]" ("\\" in the
    brackets takes the next character as it is)."""
    levels: list[tuple[str, str]] = []
    at = 1 if path.startswith("/") else 0
    while at < len(path):
        open_at = path.find("[", at)
        if open_at <= at or "/" in path[at:open_at] or "]" in path[at:open_at]:
            raise ValueError(f"{path!r}: a level is Class[repository name] (at position {at + 1})")
        name, i = [], open_at + 1
        while i < len(path) and path[i] != "]":
            if path[i] == "\\" and i + 1 < len(path):
                i += 1
            name.append(path[i])
            i += 1
        if i == len(path):
            raise ValueError(f"{path!r}: the '[' at position {open_at + 1} is not closed")
        levels.append((path[at:open_at], "".join(name)))
        at = i + 1
        if at < len(path):
            if path[at] != "/" or at + 1 == len(path):
                raise ValueError(f"{path!r}: expected '/' and another level at position {at + 1}")
            at += 1
    return levels


class Descriptor:
    """An object's descriptor: the application's level, then one
    (class name, repository name) pair per level below it."""

    __slots__ = ("levels",)

    def __init__(self, levels=(ROOT,)):
        self.levels = tuple((str(c), str(n)) for c, n in levels)
        if not self.levels:
            raise ValueError("a descriptor has at least the application's level")

    @classmethod
    def parse(cls, text: str) -> "Descriptor":
        """A descriptor from its XML text, or from a short path (the root
        implied unless the path starts with NorvApplication[...])."""
        if text.lstrip().startswith("<"):
            try:
                levels, node = [], ElementTree.fromstring(text)
            except ElementTree.ParseError as failure:
                raise ValueError(f"not a descriptor: {failure}") from None
            while node is not None:
                levels.append((node.get("ClassName", ""), node.get("RepositoryName", "")))
                node = node.find("Obj")
            return cls(levels)
        levels = parse_path(text)
        if not levels or levels[0][0] != ROOT[0]:
            levels.insert(0, ROOT)
        return cls(levels)

    def __truediv__(self, level) -> "Descriptor":
        if isinstance(level, str):
            return Descriptor(self.levels + tuple(parse_path(level)))
        class_name, repository_name = level
        return Descriptor(self.levels + ((class_name, repository_name),))

    @property
    def xml(self) -> str:
        opened = "".join(f'<Obj ClassName="{_escape(c)}" RepositoryName="{_escape(n)}"' for c, n in self.levels)
        return opened.replace("<Obj", "><Obj")[1:] + "/>" + "</Obj>" * (len(self.levels) - 1)

    @property
    def path(self) -> str:
        """The short path below the application ("/" for the application)."""
        def quoted(name):
            return name.replace("\\", "\\\\").replace("]", "\\]")
        return "/".join(f"{c}[{quoted(n)}]" for c, n in self.levels[1:]) or "/"

    def __str__(self) -> str:
        return self.xml

    def __repr__(self) -> str:
        return f"Descriptor({self.path!r})"

    def __eq__(self, other) -> bool:
        return isinstance(other, Descriptor) and self.levels[1:] == other.levels[1:]

    def __hash__(self) -> int:
        return hash(self.levels[1:])


app = Descriptor()
