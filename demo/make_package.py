#!/usr/bin/env python3
"""Builds the demo package pluvionfull.zip: the stand-in Pluvion.exe, KestrumLiveUpdate.exe (so
that the uninstall entry works), LiveUpdate.bat and the data files of demo/package.

  make_package.py OUTPUT.zip BUILD_FOLDER
"""
import os
import sys
import zipfile


def main():
    output, build = sys.argv[1], sys.argv[2]
    here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "package")
    os.makedirs(os.path.dirname(output), exist_ok=True)
    with zipfile.ZipFile(output, "w", zipfile.ZIP_DEFLATED) as z:
        z.write(os.path.join(build, "Pluvion.exe"), "Pluvion.exe")
        z.write(os.path.join(build, "KestrumLiveUpdate.exe"), "KestrumLiveUpdate.exe")
        for folder, _, files in os.walk(here):
            for name in sorted(files):
                path = os.path.join(folder, name)
                z.write(path, os.path.relpath(path, here).replace(os.sep, "/"))
    with zipfile.ZipFile(output) as z:
        for info in z.infolist():
            print(f"  {info.file_size:>9}  {info.filename}")


if __name__ == "__main__":
    main()
