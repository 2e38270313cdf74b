#!/usr/bin/env python3
"""Writes the corpus of broken input files of this folder (run from anywhere;
the files land beside this script). Every file is small; the cases that need
large data (10 MB lines) are made by the test itself. The expected result of
each file is in expected.txt."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("latin-1"))


def patch_ids():
    """The 130 patches the engine uses, in a file's usual order."""
    ids = []
    for row in "ABCDEFGHIJKL":
        for col in (1, 2, 3, 5, 6, 7, 9, 10, 11):
            ids.append("%s%d" % (row, col))
    ids += ["GS%d" % n for n in range(1, 23)]
    return ids


def xyz(i):
    # Plausible values: light grey patches first, dark ones last.
    y = 80.0 - 0.6 * i
    return "%.2f %.2f %.2f" % (y * 0.96, y, y * 0.82)


def reference(lines=None, end=True, header="IT8.7/2", fields="SAMPLE_ID XYZ_X XYZ_Y XYZ_Z"):
    if lines is None:
        lines = ["%s %s" % (pid, xyz(i)) for i, pid in enumerate(patch_ids())]
    text = header + "\nORIGINATOR \"hardening corpus\"\nNUMBER_OF_FIELDS 4\nBEGIN_DATA_FORMAT\n" + fields + \
        "\nEND_DATA_FORMAT\nNUMBER_OF_SETS %d\nBEGIN_DATA\n" % len(lines)
    text += "\n".join(lines) + "\n"
    if end:
        text += "END_DATA\n"
    return text


def data_lines():
    return ["%s %s" % (pid, xyz(i)) for i, pid in enumerate(patch_ids())]


def targa(width, height, pixels=b"", image_type=2, bits=24, colour_map=0, id_length=0):
    header = struct.pack("<BBBHHBHHHHBB", id_length, colour_map, image_type, 0, 0, 0, 0, 0, width, height, bits, 0)
    return header + b"\x00" * id_length + pixels


def main():
    # Reference data files (ScannerIT8Analysis with the file).
    write("ref-good.txt", reference())
    write("ref-empty.txt", "")
    write("ref-truncated-header.txt", "IT8.7")
    write("ref-header-only.txt", "IT8.7/2\nORIGINATOR \"hardening corpus\"\n")
    write("ref-no-xyz-fields.txt", reference(fields="SAMPLE_ID LAB_L LAB_A LAB_B"))
    write("ref-no-begin-data.txt", reference().replace("BEGIN_DATA\n", "DATA\n"))
    write("ref-no-end-data.txt", reference(end=False))
    lines = data_lines()
    write("ref-missing-patch.txt", reference(lines[:57] + lines[58:]))
    dup = list(lines)
    dup[58] = dup[57]
    write("ref-duplicated-patch.txt", reference(dup))
    nul = reference().encode("latin-1")
    cut = nul.index(b"GS1 ")
    write("ref-nul-bytes.txt", nul[:cut] + b"\x00\x00\x00" + nul[cut:])
    for name, value in (("1e999", "1e999"), ("nan", "nan"), ("minus-zero", "-0")):
        changed = list(lines)
        pid, rest = changed[20].split(" ", 1)
        changed[20] = "%s %s %s" % (pid, value, rest.split(" ", 1)[1])
        write("ref-value-%s.txt" % name, reference(changed))

    # Targa images (ScannerIT8Analysis's target image, PrinterTargetAnalysis's chart).
    write("tga-empty.tga", b"")
    write("tga-truncated-header.tga", targa(8, 8)[:11])
    write("tga-width-zero.tga", targa(0, 8, b"\x80" * 24))
    write("tga-height-zero.tga", targa(8, 0, b"\x80" * 24))
    write("tga-huge-declared.tga", targa(65535, 65535, b"\x80" * 300))
    write("tga-truncated-pixels.tga", targa(32, 32, b"\x80" * (3 * 32 * 10)))
    write("tga-colour-mapped.tga", targa(8, 8, b"\x00" * 64, image_type=1, bits=8, colour_map=1))
    write("tga-run-length.tga", targa(8, 8, b"\xbf\x80\x80\x80", image_type=10))
    write("tga-grey-8bit.tga", targa(8, 8, b"\x80" * 64, image_type=3, bits=8))
    write("tga-16bit.tga", targa(8, 8, b"\x80" * 128, bits=16))
    write("tga-32bit.tga", targa(8, 8, b"\x80" * 256, bits=32))
    write("tga-blank-white.tga", targa(40, 30, b"\xff" * (3 * 40 * 30)))


if __name__ == "__main__":
    main()
