#!/usr/bin/env python3
"""Writes the fuzz targets' seeds: make_seeds.py CLASSIC_ZIP OUTDIR.

OUTDIR/archive/ gets the PKZIP archives of the reference corpus (the pkzip
folder of ORVANE_CORPUS_DIR, by default ../shared/corpus beside the
checkout; left out, with a line that says so, when it is not there) and
archives made here of a small payload: by zip (deflated, stored, written to a pipe,
from standard input with and without Zip64 sizes), by python3's zipfile
(stored, deflated and LZMA, to a file and to an unseekable stream; names
beyond ASCII in UTF-8 and code page 437), by 7z (LZMA with and without the
end marker, and with a 4 KB dictionary) and by
classic_zip, the test encoders (shrunk, reduced with every factor, imploded
both ways). OUTDIR/decoder/ gets every entry of those archives in
decoder_fuzzer's input layout (described in decoder_fuzzer.cpp).
Everything is made anew on each run, deterministically.
"""
import hashlib
import io
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
REFERENCE = os.environ.get("ORVANE_CORPUS_DIR") or os.path.join(ROOT, "..", "shared", "corpus")
CORPUS = os.path.join(REFERENCE, "pkzip")
MAX_DECODER_INPUT = 256 * 1024
CLASSIC_METHODS = ["shrunk", "reduced1", "reduced2", "reduced3", "reduced4",
                   "imploded", "imploded4k"]


def write_payload(directory):
    rng = random.Random(10)
    words = ["setup", "install", "file", "the", "of", "orvane", "data", "\r\n"]
    files = {
        "readme.txt": " ".join(rng.choice(words) for _ in range(1500)).encode(),
        "random.bin": bytes(rng.randrange(256) for _ in range(3000)),
        "zeros.bin": bytes(12000),
        "empty.txt": b"",
        "a": b"a",
        "sub/deeper/table.csv": "".join(f"{i},{i * i},{i % 7}\n" for i in range(600)).encode(),
    }
    for name, data in files.items():
        path = os.path.join(directory, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    return sorted(files)


class Unseekable(io.RawIOBase):
    """A write-only stream without tell or seek, as a pipe is."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def python_archives(payload, names, out):
    for label, method in (("stored", zipfile.ZIP_STORED), ("deflated", zipfile.ZIP_DEFLATED),
                          ("lzma", zipfile.ZIP_LZMA)):
        with zipfile.ZipFile(os.path.join(out, f"python-{label}.zip"), "w", method) as z:
            for name in names:
                z.write(os.path.join(payload, name), name)
        stream = Unseekable()
        with zipfile.ZipFile(stream, "w", method) as z:
            for name in names:
                z.write(os.path.join(payload, name), name)
        with open(os.path.join(out, f"python-{label}-stream.zip"), "wb") as f:
            f.write(stream.data)
    # Names beyond ASCII: UTF-8 under flag bit 11, and without it code page
    # 437 (the placeholder X becomes 0x9A, "Ü").
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        for name in ("Über/Ärger.txt", "中文.txt", "..／x.txt", "Xbersicht.txt"):
            z.writestr(name, name.encode())
    with open(os.path.join(out, "python-names.zip"), "wb") as f:
        f.write(buffer.getvalue().replace(b"Xbersicht", b"\x9abersicht"))


def zip_archives(payload, out):
    def run(args, output, stdin=None):
        # Through a pipe: zip writes streamed entries only when it cannot seek.
        made = subprocess.run(args, cwd=payload, input=stdin, stdout=subprocess.PIPE, check=True)
        with open(output, "wb") as f:
            f.write(made.stdout)

    run(["zip", "-q", "-X", "-r", "-", "."], os.path.join(out, "zip-pipe.zip"))
    run(["zip", "-q", "-X", "-fz-", "-r", "-", "."], os.path.join(out, "zip-pipe-nozip64.zip"))
    # From standard input the size is unknown: Zip64 local sizes of 0xFFFFFFFF.
    with open(os.path.join(payload, "readme.txt"), "rb") as f:
        text = f.read()
    run(["zip", "-q", "-X", "-", "-"], os.path.join(out, "zip-stdin.zip"), text)
    run(["zip", "-q", "-X", "-fz-", "-", "-"], os.path.join(out, "zip-stdin-nozip64.zip"), text)
    for label, level in (("stored", "-0"), ("deflated", "-9"), ("fast", "-1")):
        target = os.path.join(out, f"zip-{label}.zip")
        subprocess.run(["zip", "-q", "-X", level, "-r", target, "."], cwd=payload, check=True)


def sevenzip_archives(payload, out):
    for label, options in (("lzma", ["-mm=LZMA"]), ("lzma-no-marker", ["-mm=LZMA", "-meos=off"]),
                           ("lzma-4k", ["-mm=LZMA:d=4k"])):
        subprocess.run(["7z", "a", "-bso0", "-bsp0", "-tzip", *options,
                        os.path.join(out, f"7z-{label}.zip"), "."],
                       cwd=payload, check=True)


def classic_archives(classic_zip, payload, names, out):
    listing = "".join(os.path.relpath(os.path.join(payload, n), "/") + "\n" for n in names)
    for method in CLASSIC_METHODS:
        subprocess.run([classic_zip, method, os.path.join(out, f"classic-{method}.zip")],
                       input=listing.encode(), check=True)


def method_byte(method):
    if method <= 6:
        return method
    if method == 8:
        return 7
    if method == 7:
        return 8
    value = 9 + 10 * (method - 9)
    return value if value <= 255 else None


def decoder_inputs(archive_path):
    """Each entry of the archive in decoder_fuzzer's layout."""
    with open(archive_path, "rb") as f:
        raw = f.read()
    try:
        infos = zipfile.ZipFile(archive_path).infolist()
    except zipfile.BadZipFile:
        return
    for info in infos:
        byte0 = method_byte(info.compress_type)
        at = info.header_offset
        if byte0 is None or info.is_dir() or raw[at:at + 4] != b"PK\3\4":
            continue
        local_compressed, = struct.unpack_from("<I", raw, at + 18)
        name_length, extra_length = struct.unpack_from("<HH", raw, at + 26)
        start = at + 30 + name_length + extra_length
        data = raw[start:start + info.compress_size]
        byte1 = (info.flag_bits >> 1) & 7
        if info.flag_bits & 8:
            data += raw[start + info.compress_size:start + info.compress_size + 16]
            if local_compressed == 0:
                byte1 |= 8
        if 6 + len(data) > MAX_DECODER_INPUT:
            continue
        yield bytes([byte0, byte1]) + struct.pack("<I", info.file_size & 0xFFFFFFFF) + data


def main():
    classic_zip, outdir = (os.path.abspath(a) for a in sys.argv[1:3])
    archives = os.path.join(outdir, "archive")
    decoders = os.path.join(outdir, "decoder")
    payload = os.path.join(outdir, "payload")
    for d in (archives, decoders, payload):
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)

    if os.path.isdir(CORPUS):
        for name in sorted(os.listdir(CORPUS)):
            if name.upper().endswith(".ZIP"):
                shutil.copyfile(os.path.join(CORPUS, name), os.path.join(archives, name))
    else:
        print(f"seeds: no reference archives at {REFERENCE} (ORVANE_CORPUS_DIR): "
              f"the PKZIP archives are left out")
    names = write_payload(payload)
    python_archives(payload, names, archives)
    zip_archives(payload, archives)
    sevenzip_archives(payload, archives)
    classic_archives(classic_zip, payload, names, archives)

    count = 0
    for name in sorted(os.listdir(archives)):
        for data in decoder_inputs(os.path.join(archives, name)):
            with open(os.path.join(decoders, hashlib.sha1(data).hexdigest()), "wb") as f:
                f.write(data)
            count += 1
    print(f"seeds: {len(os.listdir(archives))} archives, {len(os.listdir(decoders))} decoder inputs"
          f" (of {count} entries)")


if __name__ == "__main__":
    main()
