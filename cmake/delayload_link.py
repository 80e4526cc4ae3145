#!/usr/bin/env python3
"""Links a program so that the named system DLLs are loaded on first use, not at start.

Used as the link launcher of KestrumLiveUpdate.exe. Windows resolves a program's start-up imports,
and the imports of those DLLs, before the program runs a single line, searching the program's own
folder first: a DLL planted beside the installer would run with its rights. With the window
libraries loaded on demand, they are loaded after the program has limited DLL loading to the
system folder, and so are their own dependencies.

GNU ld cannot make delay imports, so the GNU compiler is asked for its link command (-###), and
that command runs with LLVM's linker, which can, after import libraries in the form it needs
(made with llvm-dlltool from the names in MinGW's own import libraries).

    delayload_link.py --dlls USER32.dll,... --work DIR -- COMPILER ARGS...
Any command that is not the compiler's link step runs unchanged.
"""
import os
import re
import shlex
import subprocess
import sys


def find_tool(*names):
    for name in names:
        for folder in os.environ.get("PATH", "").split(os.pathsep):
            path = os.path.join(folder, name)
            if os.access(path, os.X_OK):
                return path
    sys.exit("delayload_link: none of %s found" % ", ".join(names))


def short_import_library(dll, mingw_lib, work, nm, dlltool, wide):
    """An import library for dll in LLVM's short form, with the names of MinGW's library."""
    base = os.path.splitext(dll)[0].lower()
    out = os.path.join(work, "lib%s.a" % base)
    if os.path.exists(out) and os.path.getmtime(out) >= os.path.getmtime(mingw_lib):
        return
    symbols = subprocess.run([nm, mingw_lib], check=True, capture_output=True, text=True).stdout
    # 32-bit symbols carry a leading underscore after the __imp_ prefix; 64-bit ones do not.
    pattern = r"^\S+ I __imp_(\S+)$" if wide else r"^\S+ I __imp__(\S+)$"
    names = sorted({m.group(1) for m in re.finditer(pattern, symbols, re.M)})
    if not names:
        sys.exit("delayload_link: no imports found in %s" % mingw_lib)
    definition = os.path.join(work, "%s.def" % base)
    with open(definition, "w") as f:
        f.write("LIBRARY %s\nEXPORTS\n" % dll)
        for name in names:
            f.write(name + "\n")
    machine = "i386:x86-64" if wide else "i386"
    subprocess.run([dlltool, "-m", machine, "-k", "-d", definition, "-l", out], check=True)


def main():
    argv = sys.argv[1:]
    split = argv.index("--")
    options, command = argv[:split], argv[split + 1:]
    dlls = options[options.index("--dlls") + 1].split(",")
    work = options[options.index("--work") + 1]
    if not command or not re.search(r"g\+\+|gcc", os.path.basename(command[0])) or "-o" not in command:
        os.execvp(command[0], command)

    target = re.match(r"(.*-w64-mingw32)-", os.path.basename(command[0]))
    triplet = target.group(1) if target else "i686-w64-mingw32"
    wide = triplet.startswith("x86_64")
    nm = find_tool(triplet + "-nm")
    dlltool = find_tool("llvm-dlltool", "llvm-dlltool-14")
    lld = find_tool("ld.lld", "ld.lld-14")
    sysroot_lib = subprocess.run(command[:1] + ["-print-file-name=libuser32.a"], check=True, capture_output=True,
                                 text=True).stdout.strip()
    os.makedirs(work, exist_ok=True)
    for dll in dlls:
        base = os.path.splitext(dll)[0].lower()
        mingw_lib = os.path.join(os.path.dirname(sysroot_lib), "lib%s.a" % base)
        short_import_library(dll, mingw_lib, work, nm, dlltool, wide)

    # Response files are read here: the compiler would hand the linker a temporary copy that is
    # gone by the time the linker runs.
    expanded = []
    for arg in command:
        if arg.startswith("@") and os.path.isfile(arg[1:]):
            with open(arg[1:]) as f:
                expanded += shlex.split(f.read())
        else:
            expanded.append(arg)
    shown = subprocess.run(expanded + ["-###"], capture_output=True, text=True)
    line = next((l for l in shown.stderr.splitlines() if "collect2" in l), None)
    if shown.returncode != 0 or line is None:
        sys.stderr.write(shown.stderr)
        sys.exit("delayload_link: the compiler did not show its link command")
    args = shlex.split(line)[1:]
    link = []
    skip = False
    for arg in args:
        if skip:
            skip = False
            continue
        if arg == "-plugin":
            skip = True
            continue
        if arg.startswith("-plugin-opt"):
            continue
        link.append(arg)
    # The short import libraries come first in the search, so -luser32 and the like find them.
    link = ["-L" + work] + link + ["--delayload=" + dll for dll in dlls]
    os.execv(lld, [lld] + link)


if __name__ == "__main__":
    main()
