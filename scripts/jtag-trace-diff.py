#!/usr/bin/env python3
"""Compares two JTAG traces scan for scan and explains the first difference.

usage: jtag-trace-diff.py [--card-a PLACE] [--card-b PLACE] EXPECTED ACTUAL

EXPECTED is usually the trace of a simulated play (OvnXsvfCheck --trace), ACTUAL the trace a card
gave (trace-<runId>.txt). Lines are "<place> <record> ...", place as 03:00.0; records IR, DR, WAIT
(sim/README.md, "Trace"). PACE lines (the product's pacing) are not compared, only shown. A trace
of more than one card needs --card-a/--card-b to say which card to compare.

Exit codes: 0 the traces are the same, 1 they differ, 2 usage error or a file that is no trace.
"""
import re
import sys

PLACE = re.compile(r"^[0-9A-Fa-f]{2}:[0-9A-Fa-f]{2}\.[0-7]$")
# The K740 configuration FPGA's IDCODE instruction; Test-Logic-Reset selects it too.
IDCODE_IR = ("6", "09")


def shorten(text, limit=160):
    """A record as shown: long vectors are cut, the whole line is in the file."""
    return text if len(text) <= limit else text[:limit] + f"... ({len(text)} characters)"


class TraceError(Exception):
    pass


def read_trace(path):
    """{place: ([records], [pace lines])}; a record is (line number, words)."""
    try:
        with open(path, "r", encoding="utf-8", errors="replace", newline=None) as f:
            lines = f.read().splitlines()
    except OSError as e:
        raise TraceError(f"{path}: cannot be read ({e.strerror})")
    cards = {}
    for number, line in enumerate(lines, 1):
        words = line.split()
        if not words:
            continue
        if len(words) < 2 or not PLACE.match(words[0]):
            raise TraceError(f"{path}:{number}: not a trace line: {line!r}")
        records, pace = cards.setdefault(words[0].upper(), ([], []))
        if words[1] == "PACE":
            pace.append(" ".join(words[2:]))
        else:
            records.append((number, words[1:]))
    return cards


def pick_card(path, cards, wanted):
    if wanted:
        wanted = wanted.upper()
        if wanted not in cards:
            raise TraceError(f"{path}: no card {wanted} (cards: {', '.join(sorted(cards)) or 'none'})")
        return wanted, cards[wanted]
    if len(cards) != 1:
        raise TraceError(f"{path}: {len(cards)} cards ({', '.join(sorted(cards)) or 'none'}); "
                         "say which with --card-a/--card-b")
    place = next(iter(cards))
    return place, cards[place]


def fields(words):
    """A scan's parts: kind, bit count, tdi, tdo, path; a wait's kind, state and count."""
    if words[0] in ("IR", "DR"):
        parts = {"kind": words[0], "bits": words[1] if len(words) > 1 else ""}
        rest = " ".join(words[2:])
        for name in ("tdi", "tdo"):
            m = re.search(name + r"=(\S*)", rest)
            parts[name] = m.group(1) if m else ""
        m = re.search(r"path=(.*)$", rest)
        parts["path"] = m.group(1).strip() if m else ""
        return parts
    return {"kind": words[0], "text": " ".join(words[1:])}


def explain(a, b, in_idcode_scan):
    """A plain sentence for the first field that differs between two records."""
    if a["kind"] != b["kind"]:
        return ("the records differ in kind (" + a["kind"] + " against " + b["kind"] + "): the TAP "
                "walked elsewhere -- TAP/pins: TMS or TCK not reaching the chain as driven")
    if a["kind"] not in ("IR", "DR"):
        return ("the " + a["kind"] + " differs: run-test pulses counted otherwise -- pacing of the "
                "waits, or TCK edges lost on the way (pins)")
    if a["bits"] != b["bits"]:
        return (f"length differs ({a['bits']} against {b['bits']} bits): chain length -- another "
                "number of devices or of IR bits in the chain than the image was made for")
    if a["path"] != b["path"]:
        return ("path differs: the TAP walked other states -- TAP/pins: TMS or TCK wiring, "
                "or edges lost because the writes came too fast for the card (pacing)")
    if a["tdi"] != b["tdi"]:
        return ("TDI differs: different bits were shifted in -- not the same image or not the "
                "same player on both sides")
    if a["tdo"] != b["tdo"]:
        tdo = b["tdo"]
        if tdo and set(tdo) <= {"0"}:
            stuck = " TDO reads all 0: the TDO pin, or the FPGA's JTAG without power."
        elif tdo and set(tdo) <= {"F"} and int(b["bits"] or 0) % 4 == 0:
            stuck = " TDO reads all 1: TDO floating, an open TDO pin."
        else:
            stuck = ""
        if in_idcode_scan:
            return (f"TDO differs in IDCODE scan (expected {a['tdo']}, read {tdo}): wrong device or "
                    "chain -- the card is not the one the image was made for, or the chain has "
                    "another device first." + stuck)
        return (f"TDO differs (expected {shorten(a['tdo'], 40)}, read {shorten(tdo, 40)}): the "
                "device answered otherwise -- "
                "a configuration step the FPGA did not take; with pacing faster than the card "
                "takes (compare the PACE lines), bits are lost." + stuck)
    return "the records differ in a way this script does not know: compare the two lines"


def compare(name_a, records_a, name_b, records_b):
    scans = 0
    waits = 0
    idcode_selected = True  # the chain starts in Test-Logic-Reset, which selects IDCODE
    for (line_a, words_a), (line_b, words_b) in zip(records_a, records_b):
        a, b = fields(words_a), fields(words_b)
        if a["kind"] in ("IR", "DR"):
            scans += 1
        else:
            waits += 1
        in_idcode_scan = a["kind"] == "DR" and idcode_selected
        if words_a != words_b:
            where = f"scan {scans}" if a["kind"] in ("IR", "DR") else f"the wait after scan {scans}"
            print(f"first difference at {where} ({name_a} line {line_a}, {name_b} line {line_b}):")
            print(f"  expected: {shorten(' '.join(words_a))}")
            print(f"  actual:   {shorten(' '.join(words_b))}")
            print("  " + explain(a, b, in_idcode_scan))
            return False
        if a["kind"] == "IR":
            idcode_selected = (a["bits"], a["tdi"]) == IDCODE_IR
        elif a["kind"] == "WAIT" and a["text"].startswith("Test-Logic-Reset"):
            idcode_selected = True
    if len(records_a) != len(records_b):
        shorter, longer = (name_b, name_a) if len(records_b) < len(records_a) else (name_a, name_b)
        rest = records_a if shorter == name_b else records_b
        line, words = rest[min(len(records_a), len(records_b))]
        print(f"{shorter} ends after scan {scans}; {longer} goes on (line {line}): "
              f"{shorten(' '.join(words))}")
        print("  the play stopped there on one side: its log names the failing command and code")
        return False
    print(f"traces equal: {scans} scans and {waits} waits compared")
    return True


def main(argv):
    cards = {"--card-a": None, "--card-b": None}
    files = []
    i = 0
    while i < len(argv):
        if argv[i] in cards and i + 1 < len(argv):
            cards[argv[i]] = argv[i + 1]
            i += 2
        elif argv[i] in ("-h", "--help"):
            print(__doc__.strip())
            return 0
        elif argv[i].startswith("-"):
            print(f"jtag-trace-diff: unknown option {argv[i]!r}", file=sys.stderr)
            return 2
        else:
            files.append(argv[i])
            i += 1
    if len(files) != 2:
        print("usage: jtag-trace-diff.py [--card-a PLACE] [--card-b PLACE] EXPECTED ACTUAL",
              file=sys.stderr)
        return 2
    try:
        place_a, (records_a, pace_a) = pick_card(files[0], read_trace(files[0]), cards["--card-a"])
        place_b, (records_b, pace_b) = pick_card(files[1], read_trace(files[1]), cards["--card-b"])
    except TraceError as e:
        print(f"jtag-trace-diff: {e}", file=sys.stderr)
        return 2
    print(f"expected: {files[0]} card {place_a}; actual: {files[1]} card {place_b}")
    for name, pace in ((files[0], pace_a), (files[1], pace_b)):
        for line in pace:
            print(f"pacing (not compared) {name}: {line}")
    return 0 if compare(files[0], records_a, files[1], records_b) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
