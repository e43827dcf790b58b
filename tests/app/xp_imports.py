#!/usr/bin/env python3
"""Fails unless the program loads on Windows XP SP3: a 32-bit PE whose header
asks for Windows 5.01 at most, whose manifest names x86, and which imports
nothing but the functions of system DLLs listed in the list file (what XP
SP3's DLLs export). Wine loads imports that XP lacks, so only the import table
itself tells. Prints each import that is not on the list.

usage: xp_imports.py OBJDUMP PROGRAM LIST
"""
import re
import subprocess
import sys


def read_list(path):
    allowed = {}
    dll = None
    for line in open(path, encoding="ascii"):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        if line.startswith("[") and line.endswith("]"):
            dll = allowed.setdefault(line[1:-1].lower(), set())
        else:
            dll.add(line)
    return allowed


def main(objdump, program, list_file):
    dump = subprocess.run([objdump, "-p", program], check=True, capture_output=True, text=True).stdout
    problems = []
    header = dict(re.findall(r"^(Magic|Major\w+Version|Minor\w+Version)\s+(\S+)", dump, re.M))
    if header.get("Magic") != "010b":
        problems.append("not a 32-bit PE32 (Magic %s)" % header.get("Magic"))
    for field in ("OSystem", "Subsystem"):
        version = (int(header.get("Major%sVersion" % field, 99)), int(header.get("Minor%sVersion" % field, 99)))
        if version > (5, 1):
            problems.append("%s version %d.%02d is above XP's 5.01" % (field, *version))
    with open(program, "rb") as exe:
        image = exe.read()
    for wanted in (b'processorArchitecture="x86"', b'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'):
        if wanted not in re.sub(rb"\s+", b" ", image):
            problems.append("the manifest lacks %s" % wanted.decode())

    allowed = read_list(list_file)
    imports = []
    dll = None
    for line in dump.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            dll = named.group(1)
            continue
        # "vma hint name", or "vma ordinal <none>" for an import by ordinal.
        entry = re.match(r"\s+[0-9a-f]+\s+(\d+)\s+(\S+)$", line)
        if dll and entry:
            name = entry.group(2)
            imports.append((dll, "ordinal " + entry.group(1) if name == "<none>" else name))
        elif not line.strip() or line.startswith("The "):
            dll = None
    if not imports:
        problems.append("no imports read from %s" % program)
    for dll, function in imports:
        if dll.lower() not in allowed:
            problems.append("%s: not a DLL on the list" % dll)
        elif function not in allowed[dll.lower()]:
            problems.append("%s!%s: not on the list of what Windows XP SP3 exports" % (dll, function))
    for problem in sorted(set(problems)):
        print("FAILED:", problem)
    print("%d imports from %d DLLs checked" % (len(imports), len({d.lower() for d, _ in imports})))
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
