#!/usr/bin/env python3
"""Zips the skin folder's layouts (*.xml) and images (*.png) into one
archive, reproducibly: entries sorted by name and named relative to the skin
folder ("Form_Main.xml", "default/button/x.png"), one fixed DOS time, one
file mode, no extra fields (which would carry access and change times), and
local headers that state the sizes (no data descriptors), so that strict zip
readers accept the archive and the same sources give the same bytes.

    python3 zip_skin.py <skin folder> <output zip>

The archive is written beside the output and renamed into place, so a failed
run never leaves a half-written archive behind.
"""

import os
import sys
import zipfile

FIXED_TIME = (2020, 1, 1, 0, 0, 0)
FILE_MODE = 0o100644


def entries(skin_dir):
    names = []
    for folder, subfolders, files in os.walk(skin_dir):
        subfolders.sort()
        relative_folder = os.path.relpath(folder, skin_dir)
        if relative_folder == "tools" or relative_folder.startswith("tools" + os.sep):
            continue
        for name in files:
            if name.endswith((".xml", ".png")):
                relative = os.path.normpath(os.path.join(relative_folder, name))
                names.append(relative.replace(os.sep, "/"))
    return sorted(names)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: zip_skin.py <skin folder> <output zip>\n")
        return 2
    skin_dir, output = argv[1], argv[2]
    names = entries(skin_dir)
    if not names:
        sys.stderr.write("no layouts or images in %s\n" % skin_dir)
        return 1
    partial = output + ".partial"
    try:
        with zipfile.ZipFile(partial, "w") as archive:
            for name in names:
                with open(os.path.join(skin_dir, name), "rb") as f:
                    data = f.read()
                info = zipfile.ZipInfo(name, date_time=FIXED_TIME)
                info.compress_type = zipfile.ZIP_DEFLATED
                info.create_system = 3  # Unix, so the mode below is read
                info.external_attr = FILE_MODE << 16
                archive.writestr(info, data, compresslevel=9)
        os.replace(partial, output)
    except OSError as error:
        sys.stderr.write("zipping the skin failed: %s\n" % error)
        try:
            os.remove(partial)
        except OSError:
            pass
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
