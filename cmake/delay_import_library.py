#!/usr/bin/env python3
"""Makes a delay-import library from a toolchain's import library.

    delay_import_library.py NM DLLTOOL MACHINE IMPORT_LIBRARY DLL_NAME OUTPUT

A program linked against the result loads DLL_NAME when it first calls one of its functions, not
when it starts. The exports are read from the import library's "__imp_" symbols; on i386 their
stdcall decoration stays in the linked names and is dropped from the names looked up in the DLL.
"""
import os
import subprocess
import sys


def main(nm, dlltool, machine, library, dll_name, output):
    listing = subprocess.run([nm, "-g", "--defined-only", library], check=True, capture_output=True,
                             text=True).stdout
    prefix = "__imp__" if machine == "i386" else "__imp_"
    imported, functions = set(), set()
    for line in listing.splitlines():
        parts = line.split()
        if len(parts) != 3:
            continue
        kind, symbol = parts[1], parts[2]
        if kind == "I" and symbol.startswith(prefix):
            imported.add(symbol[len(prefix):])
        elif kind == "T":
            functions.add(symbol[1:] if machine == "i386" and symbol.startswith("_") else symbol)
    if not imported:
        sys.exit("%s: no __imp_ symbols in %s" % (sys.argv[0], library))
    definition = output + ".def"
    with open(definition, "w") as f:
        f.write("LIBRARY %s\nEXPORTS\n" % dll_name)
        for name in sorted(imported):
            f.write("  %s%s\n" % (name, "" if name in functions else " DATA"))
    command = [dlltool, "--input-def", definition, "--dllname", dll_name, "--output-delaylib", output]
    if machine == "i386":
        command[1:1] = ["-m", "i386", "--kill-at"]
    else:
        command[1:1] = ["-m", "i386:x86-64"]
    if os.path.exists(output):
        os.remove(output)
    subprocess.run(command, check=True)


if __name__ == "__main__":
    if len(sys.argv) != 7:
        sys.exit(__doc__)
    main(*sys.argv[1:])
