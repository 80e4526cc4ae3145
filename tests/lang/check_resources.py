#!/usr/bin/env python3
"""Reads the two language resources with a reader of its own and compares them with the expected
texts and the table of which keys each section defines.

    check_resources.py RESOURCE_DIR EXPECTED_TSV MATRIX_TSV

This reader is written apart from the program's C++ one, from the grammar of the language files:
prepared text (lines re-joined with CR LF, a NUL ends it), a section from the first "<NAME" to the
first "</NAME>" with 1-based clamped positions, a key as the key plus one blank, its value between
the next two double quotes, repeated keys joined with CR LF with trailing empty values dropped.
Exit status 0 when everything matches, 1 with one line per difference otherwise.
"""
import sys

CRLF = b"\r\n"
RESOURCES = {"QVI": "QVI_XMLFILE.xml", "LU": "LU_XMLFILE.xml"}
SECTIONS = ["ENGLISH", "FRENCH", "PORTUGUESE"]


def prepare(raw):
    raw = raw.split(b"\0", 1)[0]
    if not raw:
        return b""
    lines = raw.replace(b"\r\n", b"\n").replace(b"\r", b"\n").split(b"\n")
    if lines[-1] == b"":  # a final break closes the last line, it does not open one
        lines.pop()
    return b"".join(line + CRLF for line in lines)


def copy(s, start, count):
    """1-based substring: start below 1 counts as 1, negative count as 0, clamped at the end."""
    start = max(start, 1)
    count = max(count, 0)
    return s[start - 1:start - 1 + count]


def pos(needle, s):
    return s.find(needle) + 1  # 0 when absent


def section(name, text):
    name = name.encode("latin-1")
    start = pos(b"<" + name, text)
    end_tag = b"</" + name + b">"
    p = pos(end_tag, text)
    end = p + len(end_tag) if p else 0
    return copy(text, start, end - start)


def occurrences(key, sect):
    """The values of the key's occurrences in text order, stopping at one without a quoted value."""
    needle = key.encode("latin-1") + b" "
    rest = sect
    values = []
    while True:
        at = rest.find(needle)
        if at < 0:
            return values
        after = rest[at + len(needle):]
        q1 = after.find(b'"')
        if q1 < 0:
            return values
        q2 = after.find(b'"', q1 + 1)
        if q2 < 0:
            return values
        values.append(after[q1 + 1:q2])
        rest = after[q2:]


def value(key, sect):
    def join(vals):
        if not vals:
            return b""
        tail = join(vals[1:])
        return vals[0] if tail == b"" else vals[0] + CRLF + tail
    return join(occurrences(key, sect))


def read_expected(path):
    texts = {}
    with open(path, encoding="utf-8", newline="") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            res, sect, key, text = line.split("\t")
            texts[(res, sect, key)] = text.replace("\\r\\n", "\r\n").encode("latin-1")
    return texts


def read_matrix(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        header = None
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            cells = line.split("\t")
            if header is None:
                header = [tuple(c.split(":")) for c in cells[1:]]
                continue
            rows.append((cells[0], dict(zip(header, cells[1:]))))
    return rows


def check_file(res, raw, problems):
    def bad(msg):
        problems.append(f"{RESOURCES[res]}: {msg}")
    if not raw.startswith(b'<?xml version="1.0" encoding="ISO-8859-1"?>\r\n'):
        bad("the first line is not the ISO-8859-1 XML declaration")
    if b"\0" in raw:
        bad("holds a NUL byte")
    stripped = raw.replace(CRLF, b"")
    if b"\r" in stripped or b"\n" in stripped:
        bad("has line ends other than CR LF")
    if not raw.endswith(CRLF):
        bad("does not end with CR LF")
    if any(b > 127 for b in raw):
        try:
            raw.decode("utf-8")
            bad("is UTF-8, not ISO-8859-1")
        except UnicodeDecodeError:
            pass
    # The line syntaxes the reader tolerates, each at least once.
    for form in (b' Value="', b' = "', b' Value = "', b'"/>', b'" />'):
        if form not in raw:
            bad(f"never uses the form {form.decode()}")
    text = prepare(raw)
    outer = section("LANGUAGE", text)
    starts = [pos(b"<" + s.encode(), outer) for s in SECTIONS]
    if 0 in starts or starts != sorted(starts):
        bad(f"the language sections are not {', '.join(SECTIONS)} in that order")
    return outer


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    folder, expected_path, matrix_path = argv[1:]
    expected = read_expected(expected_path)
    matrix = read_matrix(matrix_path)
    problems = []
    checked = 0
    for res, filename in RESOURCES.items():
        with open(f"{folder}/{filename}", "rb") as f:
            raw = f.read()
        outer = check_file(res, raw, problems)
        for sect_name in SECTIONS:
            sect = section(sect_name, outer)
            where = f"{res} {sect_name}"
            if not sect:
                problems.append(f"{where}: section not found")
                continue
            if not occurrences("S_LabelTop", sect):
                problems.append(f"{where}: S_LabelTop missing")
            for key, cells in matrix:
                state = cells[(res, sect_name)]
                found = occurrences(key, sect)
                got = value(key, sect)
                present = state in ("T", "E")
                if bool(found) != present or (state == "T") != (got != b""):
                    problems.append(f"{where}: {key} should be {state}, found {len(found)} "
                                    f"occurrence(s) with the value {got!r}")
                want = expected.get((res, sect_name, key))
                if want is not None and got != want:
                    problems.append(f"{where}: {key} is {got!r}, expected {want!r}")
                if want is None and any((res, sect_name) == (r, s) for r, s, _ in expected) and present:
                    problems.append(f"{where}: {key} is present but the expected texts leave it out")
                checked += 1
        if res == "QVI":
            po = section("PORTUGUESE", outer)
            if occurrences("S_LabelCreateDesktopIcon", po) != [b"", b""]:
                problems.append("QVI PORTUGUESE: S_LabelCreateDesktopIcon is not twice empty")
    codes = {"ENGLISH": b"EN", "FRENCH": b"FR", "PORTUGUESE": b"PO"}
    for res, filename in RESOURCES.items():
        with open(f"{folder}/{filename}", "rb") as f:
            outer = section("LANGUAGE", prepare(f.read()))
        for sect_name, code in codes.items():
            if value("S_CodeLanguage", section(sect_name, outer)) != code:
                problems.append(f"{res} {sect_name}: S_CodeLanguage is not {code.decode()}")
    for p in problems:
        print(p)
    print(f"{checked} keys checked in 6 sections, {len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
