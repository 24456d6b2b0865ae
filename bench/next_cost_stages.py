#!/usr/bin/env python3
"""Splits a callgrind count of a plug-in's entry into the stages of a call.

    next_cost_stages.py CALLGRIND_OUT CALLS

CALLGRIND_OUT must be written with --dump-instr=yes --compress-strings=no
--compress-pos=no. The plug-ins are built with link-time optimisation, so
the stages are rarely functions of their own: each instruction of the
plug-in is charged by the chain of functions addr2line says it was inlined
from, innermost first; host services and C library code by their names.

  dispatch  the exported entry and runEntry's own code, the operation record
  prologue  the steps before the operation and the host services they call
  record    the record layer: position, size, the bookkeeping of Next
  scan      the window, the copy or line scan, the blank fill, OS reads
  epilogue  the steps after the operation and the host services they call

Prints one line per stage: name and instructions per call.
"""
import collections
import subprocess
import sys

PROLOGUE_HOST = ("Hrt$ThreadedFileOpen", "drv_check_state", "Hrt$PopTemp", "Hrt$clock")
EPILOGUE_HOST = ("drv_update_state", "Hrt$freestr", "Hrt$seterror", "Hrt$SetErrorFile",
                 "Hrt$clearerror", "Hrt$PushString", "Hrt$StackHeap", "drv_TraceOp")
# Names within the plug-in, by stage; the first frame of the inline chain that
# holds one of them decides.
PLUGIN_STAGES = [
    ("prologue", ("prologue", "popStrings", "blockIsStale", "rulesFor")),
    ("epilogue", ("epilogue", "freeStrings", "finishOnBlock", "reportError")),
    ("scan", ("scanInto", "passOver", "scanLine", "copyToStop", "bytesInWindow",
              "ensureWindow", "BufferedFile::", "takeHeld", "windowHolds")),
    ("record", ("readRecord", "readNext", "readLine", "readNextLine", "readNextRecord", "readPlainLine", "perform",
                "takeFileSize", "fileOf", "positionStands", "nextRecord", "nextLine")),
    ("dispatch", ("runEntry", "runNext", "DOS", "ASCII")),
]
STAGES = ["dispatch", "prologue", "record", "scan", "epilogue"]


def stage_of_chain(functions):
    for function in functions:
        for stage, names in PLUGIN_STAGES:
            if any(name in function for name in names):
                return stage
    return "dispatch"


def stage_of_host(function):
    if function.startswith(PROLOGUE_HOST):
        return "prologue"
    if function.startswith(EPILOGUE_HOST):
        return "epilogue"
    # The OS read behind a window load, and the C library's byte movers.
    return "scan"


def main():
    out_path, calls = sys.argv[1], int(sys.argv[2])
    plugin_costs = collections.defaultdict(collections.Counter)  # object -> address -> Ir
    costs = collections.Counter()
    obj, function = "", ""
    skip_next = False
    with open(out_path, encoding="utf-8", errors="replace") as out:
        for text in out:
            if skip_next:
                skip_next = False
                continue
            if text.startswith("ob="):
                obj = text[3:].strip()
            elif text.startswith("fn="):
                function = text[3:].strip()
            elif text.startswith("calls="):
                skip_next = True
            elif text.startswith("0x"):
                fields = text.split()
                if len(fields) < 3:
                    continue
                cost = int(fields[2])
                if obj.endswith(("X9DOSX.so", "X9ASCX.so")):
                    plugin_costs[obj][fields[0]] += cost
                else:
                    costs[stage_of_host(function)] += cost
    for obj, by_address in plugin_costs.items():
        addresses = list(by_address)
        lines = subprocess.run(["addr2line", "-f", "-i", "-C", "-a", "-e", obj] + addresses,
                               capture_output=True, text=True, check=True).stdout.split("\n")
        # Each address: its own line (-a), then function and place pairs.
        chains, current = {}, None
        for i, line in enumerate(lines):
            if line.startswith("0x") and (i + 1 < len(lines)):
                current = int(line, 16)
                chains[current] = []
            elif current is not None and not line.startswith("/") and ":" not in line[:2]:
                if line and not line.startswith("??:"):
                    chains[current].append(line)
        for address, cost in by_address.items():
            costs[stage_of_chain(chains.get(int(address, 16), []))] += cost
    for stage in STAGES:
        print("%s %.1f" % (stage, costs[stage] / calls))


if __name__ == "__main__":
    main()
