#!/usr/bin/env python3
"""Extraction benchmark: the host engine tool against the extractors a user
would otherwise reach for.

One command, from any directory:

    python3 bench/bench.py [--rounds N] [--section S] [--baseline REV]

It builds build/host/extract (host preset), makes two corpora from files
every machine of this kind has after scripts/setup.sh (the Windows binaries
that wine64 installs, and the headers under /usr/include; each sorted by
path, the first 100 MB), zips each with Info-ZIP zip at its default level
and with -0, and then, over several rounds with the tools alternating, times:

  engine             build/host/extract ARCHIVE DIR
  unzip              unzip -qq -o ARCHIVE -d DIR
  7z                 7z x -y -oDIR ARCHIVE
  libdeflate-gunzip  the same files as one gzip stream (gzip -6), decoded to a file
  tar                unpacking an uncompressed tar of the same files (the floor
                     for writing the files)

and prints each tool's median wall time and its ratio to the engine's.

The classic methods follow: the first 20 MB of the headers corpus written as
shrunk, imploded (8 KB dictionary, literal tree) and reduced (factors 1 to 4)
archives by the test tree's encoders (build/host/tests/methods/classic_zip;
no tool here writes these methods). Shrunk and imploded archives are timed
against unzip and 7z, which decode them; reduced ones, which no other tool
here decodes, give the engine's throughput alone.

The decoding section follows (--section decode runs it alone): the first
80 MB of the wine corpus as one tar, zipped at level 6 as a single entry and
gzipped (gzip -6); the engine's user CPU extracting that entry against
libdeflate-gunzip's decoding the gzip stream to a file, with the wall times
of both. It isolates the inflate loop from the per-file costs. Then the same
tar as an .lzma file (xz --format=lzma, preset 9 with the builder's 8 MB
dictionary) and as one LZMA entry holding that file's very stream: the
engine's user CPU against xz -d (liblzma) decoding the .lzma to a file.

The builder follows (--section builder runs it alone): each corpus copied
into a folder (names that differ only in letter case, which an installer
cannot hold, keep their first spelling only), and a folder holding one file
of 1.5 GB (the wine corpus's files joined, over and over), then, at zip's
default level 6 and, for the corpora, at mkinstaller's default 9 (every
tool takes many minutes for 1.5 GB at level 9):

  mkinstaller   build/host/mkinstaller --stub STUB --from FOLDER --level L --threads T -o OUT.exe
                (T = 1 and 2)
  zip           zip -q -r -L ARCHIVE . (in FOLDER; -L the level; one thread)
  7z            7z a -tzip -mx=L -mmt=T ARCHIVE . (in FOLDER; T = 1 and 2)

each under /usr/bin/time, for wall time and peak memory (maximum resident
set size), with the output's size. STUB is build/win32/orvane_stub.exe.

The sizes follow (--section sizes runs them alone; --payloads as for the
installer section below): each payload packed by mkinstaller onto the win32
stub with deflate (the default) and with --method lzma, by NSIS (x86 stub,
SetCompressor zlib, and /SOLID lzma) and by 7z into a .7z archive at -mx9
(what 7-Zip's self-extractors append); the size of each.

The archive check follows (--section check runs it alone; needs the win32,
win64 and host presets built): the first 100 MB of the wine corpus with
the setup probe as SETUP.EXE, packed by mkinstaller --from at level 0 into a
sealed installer of the win32 stub, about 100 MB (stored: every byte of it
is carved and counted, the check's worst case); the same archive, byte for byte,
appended to the win32 stub of --baseline REV (default: the commit before the
check came in), built from `git archive` in the work directory. Both are
installed under the Wine bench, alternately, and the median wall times of
the installations (robot start to stub exit) are compared: the difference
is what the check costs (the CRC-32 while carving, the directory walk, the
seal).

The installer section follows (--section installer runs it alone; --payloads
picks among mixed, small and large, --widths among 64 and 32): each payload
with a SETUP.EXE that returns at once, packed by mkinstaller (our stub) and
by NSIS twice (silent, and with its progress window), installed under one
Wine prefix of its own, on the x86_64 pair (win64 stub, NSIS amd64-unicode)
and, where this machine runs 32-bit programs, the 32-bit pair (win32 stub,
NSIS x86-unicode; else the pair is skipped with the reason). Each installer
runs once untimed, where its files are counted and the windows it shows
are checked (the silent NSIS none, the other NSIS its own), then in
alternating rounds; each row gives the wall time, the bytes written per
installation (write_bytes of /proc/PID/io, the installer's processes and
the wineserver) against the installed size, and the CPU time of the
installer's processes and of the wineserver.

Work happens in a temporary directory under build/ (same disk as the
checkout), removed at the end. Standard library only.
"""

import argparse
import dataclasses
import os
import re
import resource
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib
from pathlib import Path
from typing import Optional

ROOT = Path(__file__).resolve().parent.parent
LIMIT = 100 * 1000 * 1000
DECODE_LIMIT = 80 * 1000 * 1000
CLASSIC_LIMIT = 20 * 1000 * 1000
# Method, and the tools besides the engine that decode it.
CLASSIC = (("shrunk", ("unzip", "7z")), ("imploded", ("unzip", "7z")),
           ("reduced1", ()), ("reduced2", ()), ("reduced3", ()), ("reduced4", ()))
# wine64 installs its Windows binaries here; with wine32 they are under i386.
WINE_LIB = next((d for d in (Path("/usr/lib/x86_64-linux-gnu/wine"),
                             Path("/usr/lib/i386-linux-gnu/wine")) if d.is_dir()),
                Path("/usr/lib/x86_64-linux-gnu/wine"))
CORPORA = {
    # i386-windows and x86_64-windows; x86_64-unix holds Linux libraries.
    "wine": sorted(WINE_LIB.glob("*-windows")),
    "headers": [Path("/usr/include")],
}


def run(cmd, **kw):
    subprocess.run(cmd, check=True, **kw)


def pick_files(roots, limit=LIMIT):
    """Regular files under the roots, sorted by path, up to `limit` bytes."""
    if not roots:
        sys.exit("corpus directory missing: run scripts/setup.sh first")
    files = []
    for root in roots:
        for dirpath, dirnames, filenames in os.walk(root):
            for name in filenames:
                p = Path(dirpath) / name
                if p.is_file() and not p.is_symlink():
                    files.append(p)
    files.sort(key=lambda p: str(p))
    picked, total = [], 0
    for p in files:
        size = p.stat().st_size
        if total + size > limit:
            break
        picked.append(p)
        total += size
    return picked, total


def build_tools():
    """The engine tool, the classic methods' archive maker and mkinstaller."""
    run(["cmake", "--preset", "host"], cwd=ROOT, stdout=subprocess.DEVNULL)
    run(["cmake", "--build", "--preset", "host", "--target", "extract", "classic_zip",
         "mkinstaller", "-j2"], cwd=ROOT, stdout=subprocess.DEVNULL)
    host = ROOT / "build" / "host"
    return host / "extract", host / "tests" / "methods" / "classic_zip", host / "mkinstaller"


def make_inputs(work, name, files):
    """Zip (default and -0), tar and tar.gz of the same files, relative to /."""
    listing = work / f"{name}.list"
    listing.write_text("".join(str(p.relative_to("/")) + "\n" for p in files))
    out = {}
    for label, level in (("deflated", "-6"), ("stored", "-0")):
        z = work / f"{name}-{label}.zip"
        with open(listing) as lst:
            run(["zip", "-q", level, "-@", str(z)], cwd="/", stdin=lst)
        out[label] = z
    tar = work / f"{name}.tar"
    run(["tar", "-cf", str(tar), "-C", "/", "-T", str(listing)])
    gz = work / f"{name}.tar.gz"
    with open(gz, "wb") as f:
        run(["gzip", "-6", "-c", str(tar)], stdout=f)
    out["tar"], out["gz"] = tar, gz
    return out


def timed(cmd, target, stdout=None):
    if target.exists():
        shutil.rmtree(target) if target.is_dir() else target.unlink()
    if stdout is None:
        target.mkdir()
    start = time.perf_counter()
    if stdout is None:
        result = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    else:
        with open(target, "wb") as f:
            result = subprocess.run(cmd, stdout=f, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit(f"failed: {' '.join(map(str, cmd))}\n{result.stderr.decode(errors='replace')}")
    return elapsed


def extractors(engine, archive, out, names=("engine", "unzip", "7z")):
    commands = {
        "engine": [engine, archive, out],
        "unzip": ["unzip", "-qq", "-o", archive, "-d", out],
        "7z": ["7z", "x", "-y", "-bso0", "-bsp0", f"-o{out}", archive],
    }
    return [(name, lambda c=commands[name]: timed(c, out)) for name in names]


def tools_for(engine, inputs, kind, work):
    out = work / "out"
    tools = extractors(engine, inputs[kind], out)
    if kind == "deflated":
        gunzip_out = work / "gunzip.out"
        tools.append(("libdeflate-gunzip",
                      lambda: timed(["libdeflate-gunzip", "-c", inputs["gz"]], gunzip_out,
                                    stdout=True)))
    tools.append(("tar", lambda: timed(["tar", "-xf", inputs["tar"], "-C", out], out)))
    return tools


def cpu_timed(cmd, target, stdout=None):
    """Like timed, but returns (user CPU, wall time) of the child."""
    if target.exists():
        shutil.rmtree(target) if target.is_dir() else target.unlink()
    if stdout is None:
        target.mkdir()
    start = time.perf_counter()
    with open(target if stdout else os.devnull, "wb") as f:
        child = subprocess.Popen(cmd, stdout=f, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit(f"failed: {' '.join(map(str, cmd))}")
    return usage.ru_utime, elapsed


def lzma_zip(stream_file, data, archive, name):
    """Writes `archive`, a ZIP file of one LZMA entry `name` (flag bit 1: the
    end marker) whose data is the stream of the .lzma file `stream_file`
    (properties, dictionary size, 8-byte size, stream) and which extracts to
    `data`."""
    lzma_file = stream_file.read_bytes()
    body = bytes([5, 4, 5, 0]) + lzma_file[:5] + lzma_file[13:]
    crc, raw = zlib.crc32(data), name.encode()
    fields = struct.pack("<HHHII", 63, 2, 14, 0x00210000, crc) + \
        struct.pack("<IIH", len(body), len(data), len(raw))
    local = struct.pack("<I", 0x04034B50) + fields + b"\0\0" + raw
    central = struct.pack("<IH", 0x02014B50, 63) + fields + b"\0" * 8 + \
        struct.pack("<II", 0x20, 0) + raw
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), len(local) + len(body), 0)
    archive.write_bytes(local + body + central + end)


def decode(engine, work, rounds):
    """One large entry, deflated and LZMA: the engine's user CPU against
    libdeflate's and liblzma's (xz -d) on the same streams."""
    files, total = pick_files(CORPORA["wine"], DECODE_LIMIT)
    listing = work / "decode.list"
    listing.write_text("".join(str(p.relative_to("/")) + "\n" for p in files))
    tar = work / "decode.tar"
    run(["tar", "-cf", str(tar), "-C", "/", "-T", str(listing)])
    archive, gz = work / "decode.zip", work / "decode.tar.gz"
    run(["zip", "-q", "-6", "-j", str(archive), str(tar)])
    with open(gz, "wb") as f:
        run(["gzip", "-6", "-c", str(tar)], stdout=f)
    lzma_archive, lzma_file = work / "decode-lzma.zip", work / "decode.tar.lzma"
    with open(lzma_file, "wb") as f:
        run(["xz", "--format=lzma", "--lzma1=preset=9,dict=8MiB", "-c", str(tar)], stdout=f)
    lzma_zip(lzma_file, tar.read_bytes(), lzma_archive, tar.name)
    out, peer_out = work / "out", work / "peer.out"
    peers = (("deflated", archive, "libdeflate-gunzip", ["libdeflate-gunzip", "-c", gz]),
             ("LZMA", lzma_archive, "xz -d", ["xz", "-d", "-c", lzma_file]))
    print(f"\ndecode: {len(files)} wine files as one {tar.stat().st_size / 1e6:.1f} MB tar, "
          f"one entry ({archive.stat().st_size / 1e6:.1f} MB deflated, "
          f"{lzma_archive.stat().st_size / 1e6:.1f} MB LZMA)")
    print(f"  ({rounds} rounds, medians)")
    for label, zipped, peer, command in peers:
        cpu_timed([engine, zipped, out], out)
        if (out / tar.name).read_bytes() != tar.read_bytes():
            sys.exit(f"engine output differs: one-entry tar, {label}")
        tools = ((f"engine, {label}", lambda z=zipped: cpu_timed([engine, z, out], out)),
                 (peer, lambda c=command: cpu_timed(c, peer_out, stdout=True)))
        times = {t: [] for t, _ in tools}
        for _ in range(rounds):
            for t, fn in tools:
                times[t].append(fn())
        base = statistics.median(u for u, _ in times[tools[0][0]])
        for t, _ in tools:
            user = statistics.median(u for u, _ in times[t])
            wall = statistics.median(w for _, w in times[t])
            ratio = "" if t == tools[0][0] else f"   engine/{t} {base / user:5.2f} (user CPU)"
            print(f"    {t:18} {user:7.3f} s user {wall:7.3f} s wall{ratio}")


def check_engine(engine, archive, files, work):
    """The engine's output must equal the source files, byte for byte."""
    out = work / "check"
    timed([engine, archive, out], out)
    for p in files:
        got = out / p.relative_to("/")
        if not got.is_file() or got.read_bytes() != p.read_bytes():
            sys.exit(f"engine output differs: {got}")
    shutil.rmtree(out)


def report(label, tools, rounds):
    """Runs the tools alternately for `rounds` rounds; prints each median."""
    times = {t: [] for t, _ in tools}
    for _ in range(rounds):
        for t, fn in tools:
            times[t].append(fn())
    base = statistics.median(times["engine"])
    print(f"  {label} ({rounds} rounds, median wall time):")
    for t, _ in tools:
        m = statistics.median(times[t])
        ratio = "" if t == "engine" else f"   engine/{t} {base / m:5.2f}"
        print(f"    {t:18} {m:7.3f} s{ratio}")
    return base


def classic(engine, classic_zip, work, rounds):
    files, total = pick_files(CORPORA["headers"], CLASSIC_LIMIT)
    listing = "".join(str(p.relative_to("/")) + "\n" for p in files)
    print(f"\nclassic methods: headers, {len(files)} files, {total / 1e6:.1f} MB")
    for method, others in CLASSIC:
        archive = work / f"classic-{method}.zip"
        run([classic_zip, method, archive], input=listing.encode())
        check_engine(engine, archive, files, work)
        base = report(f"{method} ({archive.stat().st_size / 1e6:.1f} MB)",
                      extractors(engine, archive, work / "out", ("engine",) + others), rounds)
        print(f"    engine throughput  {total / 1e6 / base:7.1f} MB/s of output")


BIG_SIZE = 1_500_000_000


def measured(cmd, cwd=None):
    """Runs `cmd`, which must succeed, under /usr/bin/time; returns its wall
    time in seconds and its peak memory in MB."""
    report = Path(tempfile.mktemp(prefix="time-", dir=ROOT / "build"))
    try:
        run(["/usr/bin/time", "-f", "%e %M", "-o", str(report), *map(str, cmd)], cwd=cwd,
            stdout=subprocess.DEVNULL)
        wall, kilobytes = report.read_text().split()[-2:]
    finally:
        report.unlink(missing_ok=True)
    return float(wall), int(kilobytes) / 1024


def builder_folders(work):
    """(name, folder, setup program, levels) for each corpus and the big file."""
    for name, roots in CORPORA.items():
        files, _ = pick_files(roots)
        folder, seen, total = work / f"{name}-folder", set(), 0
        for p in files:
            relative = p.relative_to("/")
            if str(relative).lower() in seen:
                continue
            seen.add(str(relative).lower())
            (folder / relative).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(p, folder / relative)
            total += p.stat().st_size
        print(f"\nbuilder: {name}, {len(seen)} files, {total / 1e6:.1f} MB")
        # Any file will do as the setup program, which --from requires.
        yield name, folder, str(files[0].relative_to("/")).replace("/", "\\"), (6, 9)
        shutil.rmtree(folder)
    files, _ = pick_files(CORPORA["wine"])
    folder = work / "big-folder"
    folder.mkdir()
    with open(folder / "big.bin", "wb") as out:
        while out.tell() < BIG_SIZE:
            for p in files:
                out.write(p.read_bytes()[:BIG_SIZE - out.tell()])
    print(f"\nbuilder: one file of {BIG_SIZE / 1e9:.1f} GB (the wine corpus, joined over and over)")
    yield "big", folder, "big.bin", (6,)
    shutil.rmtree(folder)


def builder(mkinstaller, work, rounds):
    stub = ROOT / "build" / "win32" / "orvane_stub.exe"
    if not stub.is_file():
        sys.exit(f"{stub} is missing: build the win32 preset first")
    built, archive = work / "built.exe", work / "payload.zip"
    for name, folder, setup, levels in builder_folders(work):
        for level in levels:
            def mkinstaller_on(threads):
                return [mkinstaller, "--stub", stub, "--from", folder, "--level", level,
                        "--threads", threads, "--setup", setup, "-o", built], None, built

            def sevenzip_on(threads):
                return ["7z", "a", "-tzip", f"-mx={level}", f"-mmt={threads}", "-bso0", "-bsp0",
                        archive, "."], folder, archive

            tools = {
                "mkinstaller, 1 thread": mkinstaller_on(1),
                "mkinstaller, 2 threads": mkinstaller_on(2),
                "zip -r": (["zip", "-q", "-r", f"-{level}", archive, "."], folder, archive),
                "7z, 1 thread": sevenzip_on(1),
                "7z, 2 threads": sevenzip_on(2),
            }
            results = {tool: [] for tool in tools}
            sizes = {}
            for _ in range(rounds):
                for tool, (cmd, cwd, output) in tools.items():
                    output.unlink(missing_ok=True)  # zip and 7z would add to it
                    results[tool].append(measured(cmd, cwd))
                    sizes[tool] = output.stat().st_size
            print(f"  level {level} ({rounds} rounds; medians of wall time and peak memory):")
            base = statistics.median(t for t, _ in results["zip -r"])
            for tool, runs in results.items():
                wall = statistics.median(t for t, _ in runs)
                memory = statistics.median(m for _, m in runs)
                print(f"    {tool:24} {wall:8.2f} s {memory:8.1f} MB {sizes[tool] / 1e6:9.2f} MB out"
                      f"   time / zip {wall / base:5.2f}")
    for output in (built, archive):
        output.unlink(missing_ok=True)


def installer_sizes(mkinstaller, work, payloads):
    """Each payload as our installer (deflate and LZMA), as NSIS's (zlib and
    solid LZMA) and as a .7z archive at -mx9: the sizes."""
    stub = ROOT / "build" / "win32" / "orvane_stub.exe"
    if not stub.is_file():
        sys.exit(f"{stub} is missing: build the win32 preset first")
    for kind in payloads:
        folder = work / f"sizes-{kind}"
        folder.mkdir()
        count, total = make_payload(kind, folder)
        (folder / "SETUP.EXE").write_bytes(b"MZ")  # --from wants the setup program
        built = {}
        for method in ("deflate", "lzma"):
            built[f"ours, {method}"] = work / f"ours-{method}.exe"
            run([mkinstaller, "--stub", stub, "--from", folder, "--method", method, "--quiet",
                 "-o", built[f"ours, {method}"]])
        for label, compressor in (("NSIS zlib", "zlib"), ("NSIS /SOLID lzma", "/SOLID lzma")):
            built[label] = work / f"nsis-{compressor[-4:]}.exe"
            script = work / "sizes.nsi"
            script.write_text(nsis_script(folder, built[label], True, "x86-unicode").replace(
                "SetCompressor zlib", f"SetCompressor {compressor}"))
            run(["makensis", "-V1", script], stdout=subprocess.DEVNULL)
        built["7z -mx9 (.7z)"] = work / "payload.7z"
        run(["7z", "a", "-t7z", "-mx9", "-bso0", "-bsp0", built["7z -mx9 (.7z)"], "."], cwd=folder)
        shutil.rmtree(folder)
        print(f"\nsizes: {kind}, {count} files, {total / 1e6:.1f} MB")
        base = built["ours, deflate"].stat().st_size
        for label, path in built.items():
            size = path.stat().st_size
            print(f"  {label:18} {size / 1e6:9.2f} MB   {100 * (size - base) / base:+6.1f} % "
                  "against ours, deflate")
            path.unlink()


# The last commit whose stub carves without checking the archive.
CHECK_BASELINE = "74c3837"


def stub_at(revision, work):
    """The win32 stub of `revision`, built from its sources in `work`."""
    source = work / "baseline"
    source.mkdir()
    archive = subprocess.run(["git", "archive", revision], cwd=ROOT, check=True,
                             stdout=subprocess.PIPE).stdout
    run(["tar", "-x", "-C", source], input=archive)
    run(["cmake", "--preset", "win32"], cwd=source, stdout=subprocess.DEVNULL)
    run(["cmake", "--build", "--preset", "win32", "--target", "orvane_stub", "-j2"], cwd=source,
        stdout=subprocess.DEVNULL)
    return source / "build" / "win32" / "orvane_stub.exe"


def check(mkinstaller, work, rounds, baseline):
    """A 100 MB installer installed under Wine with the archive check and
    without it (the baseline's stub, the same archive)."""
    sys.path.insert(0, str(ROOT / "tests" / "wine"))
    from winebench import Bench
    stub = ROOT / "build" / "win32" / "orvane_stub.exe"
    probe = ROOT / "build" / "win64" / "setup_probe.exe"
    for needed in (stub, probe):
        if not needed.is_file():
            sys.exit(f"{needed} is missing: build the win32 and win64 presets first")
    files, _ = pick_files(CORPORA["wine"])
    folder, seen, total = work / "check-folder", set(), 0
    for p in files:
        relative = p.relative_to("/")
        if str(relative).lower() not in seen:
            seen.add(str(relative).lower())
            (folder / relative).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(p, folder / relative)
            total += p.stat().st_size
    shutil.copy(probe, folder / "SETUP.EXE")
    checked, unchecked = work / "checked.exe", work / "unchecked.exe"
    run([mkinstaller, "--stub", stub, "--from", folder, "--level", "0", "-o", checked])
    payload = work / "payload.zip"
    payload.write_bytes(checked.read_bytes()[stub.stat().st_size:])
    run([mkinstaller, "--stub", stub_at(baseline, work), "--archive", payload, "-o", unchecked])
    shutil.rmtree(folder)

    bench_dir = ROOT / "build" / "host" / "wine"
    run([sys.executable, ROOT / "tests" / "wine" / "winebench.py", "start", bench_dir])
    bench = Bench(bench_dir, ROOT / "build" / "win64")
    x11 = "HKCU\\Software\\Wine\\X11 Driver"
    try:
        # Unmanaged windows: no 2-second wait each time a status window hides.
        bench.reg_add(x11, "Managed", "REG_SZ", "N")
        temp = bench.user_temp()
        times = {"with the check": [], "without": []}
        for round_number in range(rounds + 1):
            for label, installer in (("with the check", checked), ("without", unchecked)):
                start = time.perf_counter()
                result = bench.run(installer, timeout=300)
                elapsed = time.perf_counter() - start
                if result.exit_code != 0 or result.boxes:
                    sys.exit(f"installing {installer.name} failed:\n{result.transcript}")
                if round_number > 0:  # the first round warms the caches
                    times[label].append(elapsed)
                shutil.rmtree(temp / installer.stem, ignore_errors=True)
    finally:
        bench.reg_delete(x11, "Managed")
        run([sys.executable, ROOT / "tests" / "wine" / "winebench.py", "stop", bench_dir])
    print(f"\ncheck: wine corpus, {len(seen)} files, {total / 1e6:.1f} MB, installer of "
          f"{checked.stat().st_size / 1e6:.1f} MB (win32 stub; without: {baseline})")
    print(f"  ({rounds} rounds after one warm-up, installation wall time under Wine)")
    base = statistics.median(times["without"])
    for label, values in times.items():
        m = statistics.median(values)
        print(f"    {label:16} median {m:7.3f} s  min {min(values):7.3f} s  "
              f"max {max(values):7.3f} s   {100 * (m - base) / base:+5.1f} %")


# The installer section: payloads named in --payloads, pairs named in
# --widths. Per width: our stub's preset, NSIS's target and the compiler of
# SETUP.EXE.
INSTALLER_PAYLOADS = ("mixed", "small", "large")
PAIRS = {64: ("win64", "amd64-unicode", "x86_64-w64-mingw32-gcc"),
         32: ("win32", "x86-unicode", "i686-w64-mingw32-gcc")}
PAIR_NAMES = {64: "x86_64", 32: "32-bit"}
PAGE = 4096
SETUP_SOURCE = "int __stdcall WinMain(void* a, void* b, char* c, int d) { return 0; }\n"


def make_payload(kind, folder):
    """mixed: Windows binaries (60 MB) and C headers (20 MB); small: 30,000
    text files of 1 to 4 KB in 300 folders; large: one 1 GB file of Windows
    binaries repeated."""
    if kind == "mixed":
        seen = set()
        for label, roots, limit in (("bin", CORPORA["wine"], 60 * 10**6),
                                    ("include", CORPORA["headers"], 20 * 10**6)):
            files, _ = pick_files(roots, limit)
            for p in files:
                relative = Path(label) / p.relative_to("/")
                if str(relative).lower() in seen:
                    continue  # names that differ only in letter case
                seen.add(str(relative).lower())
                (folder / relative).parent.mkdir(parents=True, exist_ok=True)
                shutil.copyfile(p, folder / relative)
    elif kind == "small":
        text = b"".join(p.read_bytes() for p in pick_files(CORPORA["headers"], 4 * 10**6)[0])
        at = 0
        for i in range(30000):
            size = 1024 + (i * 7919) % 3072
            d = folder / f"d{i // 100:03}"
            d.mkdir(parents=True, exist_ok=True)
            (d / f"f{i:05}.h").write_bytes(text[at:at + size])
            at = (at + size) % (len(text) - 4096)
    else:
        files, _ = pick_files(CORPORA["wine"], 100 * 10**6)
        limit, total = 10**9, 0
        with open(folder / "big.bin", "wb") as out:
            while total < limit:
                for p in files:
                    data = p.read_bytes()[:limit - total]
                    out.write(data)
                    total += len(data)
                    if total >= limit:
                        break


def extracted_size(folder):
    """(files, bytes, bytes in whole pages) of what an installation of
    `folder` leaves: the floor of what it must write."""
    files, total, pages = 0, 0, 0
    for dirpath, _, names in os.walk(folder):
        for name in names:
            size = (Path(dirpath) / name).stat().st_size
            files, total, pages = files + 1, total + size, pages + -(-size // PAGE) * PAGE
    return files, total, pages


def nsis_script(folder, out, silent, target):
    """NSIS, zlib, not solid: the payload into $TEMP\\nsisbench, then
    SETUP.EXE started without waiting; silent, or with its progress window
    closing by itself."""
    mode = "SilentInstall silent" if silent else "AutoCloseWindow true\nShowInstDetails nevershow"
    return f"""Target {target}
SetCompressor zlib
{mode}
OutFile "{out}"
InstallDir "$TEMP\\nsisbench"
RequestExecutionLevel user
Page instfiles
Section
  SetOutPath "$INSTDIR"
  File /r "{folder}/*"
  Exec '"$INSTDIR\\SETUP.EXE"'
SectionEnd
"""


@dataclasses.dataclass
class Installer:
    name: str
    exe: Path
    target: Path           # the folder it installs into
    window: Optional[bool]  # must it show a window (None: either)


@dataclasses.dataclass
class Installation:
    seconds: float
    written: int         # bytes, by the installer's processes and the wineserver
    program_cpu: float   # seconds (user + system) of `wine INSTALLER` and what it waited for
    server_cpu: float    # seconds of the wineserver


def counters(server):
    """(bytes written, CPU seconds of the children waited for, CPU seconds of
    the wineserver `server`) so far. Bytes written are write_bytes of
    /proc/PID/io: pages dirtied in the page cache, counted when dirtied, so a
    file deleted before it reaches the disk counts too; for this process
    they include the children it has waited for (wine and the installer, but
    not the setup program, which Wine starts detached and which writes
    nothing)."""
    def written(pid):
        for line in open(f"/proc/{pid}/io"):
            if line.startswith("write_bytes:"):
                return int(line.split()[1])
        raise RuntimeError(f"/proc/{pid}/io has no write_bytes")

    stat = Path(f"/proc/{server}/stat").read_text()
    # After the name in parentheses: state, then 10 fields, utime, stime.
    ticks = sum(int(v) for v in stat[stat.rindex(")") + 2:].split()[11:13])
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (written("self") + written(server), children.ru_utime + children.ru_stime,
            ticks / os.sysconf("SC_CLK_TCK"))


def install(bench, server, exe):
    """`wine exe` in the bench's prefix, which must succeed, and its costs."""
    before = counters(server)
    start = time.perf_counter()
    code, out, err = bench._wine(["wine", str(exe)], timeout=1800)
    elapsed = time.perf_counter() - start
    after = counters(server)
    if code != 0:
        sys.exit(f"{exe.name} failed ({code}): {out}{err}")
    return Installation(elapsed, *(a - b for a, b in zip(after, before)))


def windows_while(bench, action, *args):
    """action(*args), and the windows (program, caption) shown on the bench's
    display meanwhile (looked at every 20 ms)."""
    shown, done = set(), threading.Event()

    def watch():
        while not done.is_set():
            shown.update(bench.visible_windows())
            done.wait(0.02)

    watcher = threading.Thread(target=watch)
    watcher.start()
    try:
        result = action(*args)
    finally:
        done.set()
        watcher.join()
    return result, shown


def alternate(installers, rounds, run):
    """run(installer) for each installer `rounds` times, in rounds, each
    round starting one installer further on; the results by name."""
    results = {installer.name: [] for installer in installers}
    for round_number in range(rounds):
        for i in range(len(installers)):
            installer = installers[(round_number + i) % len(installers)]
            results[installer.name].append(run(installer))
    return results


def load():
    return " ".join(f"{value:.2f}" for value in os.getloadavg())


def installer_pair(bench, mkinstaller, work, folder, width, rounds, kind):
    """One payload installed by our installer and NSIS's two, of one width."""
    preset, nsis_target, compiler = PAIRS[width]
    stub = ROOT / "build" / preset / "orvane_stub.exe"
    setup_c = work / "setup.c"
    setup_c.write_text(SETUP_SOURCE)
    run([compiler, "-s", "-mwindows", "-o", folder / "SETUP.EXE", setup_c])
    files, total, pages = extracted_size(folder)
    temp = bench.user_temp()
    installers = [Installer("orvane", work / "ours.exe", temp / "ours", None)]
    run([mkinstaller, "--stub", stub, "--from", folder, "-o", installers[0].exe],
        stdout=subprocess.DEVNULL)
    for name, silent in (("NSIS silent", True), ("NSIS window", False)):
        exe = work / f"nsis-{'silent' if silent else 'window'}.exe"
        script = work / "bench.nsi"
        script.write_text(nsis_script(folder, exe, silent, nsis_target))
        run(["makensis", "-V1", script], stdout=subprocess.DEVNULL)
        installers.append(Installer(name, exe, temp / "nsisbench", not silent))
    server = bench.server_pid()
    if server is None:
        sys.exit("the bench's wineserver is not running")

    def fresh(installer):
        for d in (temp / "ours", temp / "nsisbench"):
            shutil.rmtree(d, ignore_errors=True)
        (temp / "orvane_r.exe").unlink(missing_ok=True)
        return install(bench, server, installer.exe)

    print(f"\ninstaller, {PAIR_NAMES[width]} pair ({preset} stub; NSIS {nsis_target}): {kind}, "
          f"{files} files, {total / 1e6:.1f} MB ({pages / 1e6:.1f} MB in whole {PAGE}-byte pages)")
    print("  installers: " + ", ".join(f"{i.name} {i.exe.stat().st_size / 1e6:.1f} MB"
                                       for i in installers))
    # Each installer once untimed, through the same list as the rounds (the
    # first program in a fresh prefix starts Wine's services): its output
    # counted (the payload and SETUP.EXE), and the windows it showed, so
    # that each row is the installer it is named after.
    seen = []
    for installer in installers:
        _, shown = windows_while(bench, fresh, installer)
        found = sum(len(f) for _, _, f in os.walk(installer.target))
        if found != files:
            sys.exit(f"{installer.name} left {found} files in {installer.target}, expected {files}")
        # Percentages collapsed: a progress window's caption counts up.
        own = {re.sub(r"\d+%", "N%", caption) for program, caption in shown
               if program.lower() == installer.exe.name.lower()}
        if installer.window is False and shown:
            sys.exit(f"{installer.name} ({installer.exe.name}) showed windows: {sorted(shown)}")
        if installer.window and not own:
            sys.exit(f"{installer.name} ({installer.exe.name}) showed no window")
        seen.append(f"{installer.name} " + (", ".join(f'"{c}"' for c in sorted(own)) or "none"))
    print("  windows seen in the untimed run: " + "; ".join(seen))
    before = load()
    results = alternate(installers, rounds, fresh)
    for d in (temp / "ours", temp / "nsisbench"):
        shutil.rmtree(d, ignore_errors=True)
    print(f"  {rounds} rounds, installers alternating; load average {before} before, "
          f"{load()} after")
    print(f"  {'':12} {'median':>9} {'min':>9} {'max':>9} {'written':>10} {'/ size':>8} "
          f"{'/ pages':>8} {'CPU wine':>9} {'CPU server':>10}   orvane / this")
    base = statistics.median(r.seconds for r in results["orvane"])
    for name, runs in results.items():
        seconds = [r.seconds for r in runs]
        written = statistics.median(r.written for r in runs)
        m = statistics.median(seconds)
        ratio = "" if name == "orvane" else f"   {base / m:5.2f}"
        print(f"  {name:12} {m:7.3f} s {min(seconds):7.3f} s {max(seconds):7.3f} s "
              f"{written / 1e6:7.1f} MB {written / total:8.2f} {written / pages:8.2f} "
              f"{statistics.median(r.program_cpu for r in runs):7.2f} s "
              f"{statistics.median(r.server_cpu for r in runs):8.2f} s{ratio}")


def installer(mkinstaller, work, rounds, payloads, widths):
    """Our installer against NSIS's under one Wine prefix, end to end: the
    x86_64 pair, and the 32-bit pair where this machine runs 32-bit code."""
    sys.path.insert(0, str(ROOT / "tests" / "wine"))
    from winebench import Bench
    for width in widths:
        stub = ROOT / "build" / PAIRS[width][0] / "orvane_stub.exe"
        if not stub.is_file():
            sys.exit(f"{stub} is missing: build the {PAIRS[width][0]} preset first")
    bench = Bench(work / "wine")
    bench.start()
    try:
        without_32_bit = bench.without_32_bit()
        if 32 in widths and without_32_bit:
            print(f"\ninstaller: 32-bit pair skipped: {without_32_bit}")
            widths = [w for w in widths if w != 32]
        bench.reg_add("HKCU\\Software\\Wine\\X11 Driver", "Managed", "REG_SZ", "N")
        for kind in payloads:
            folder = work / f"payload-{kind}"
            folder.mkdir()
            make_payload(kind, folder)
            for width in widths:
                installer_pair(bench, mkinstaller, work, folder, width, rounds, kind)
            shutil.rmtree(folder)
    finally:
        bench.stop()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--section", default="all",
                    choices=("all", "extract", "classic", "decode", "builder", "check",
                             "installer", "sizes"))
    ap.add_argument("--baseline", default=CHECK_BASELINE,
                    help="revision whose stub installs without the archive check")
    ap.add_argument("--payloads", default=",".join(INSTALLER_PAYLOADS),
                    help="installer and sizes sections: any of " + ", ".join(INSTALLER_PAYLOADS))
    ap.add_argument("--widths", default="64,32",
                    help="installer section: the pairs, 64 (x86_64) and 32 (skipped where "
                         "32-bit programs cannot run)")
    args = ap.parse_args()
    payloads, widths = args.payloads.split(","), args.widths.split(",")
    if not set(payloads) <= set(INSTALLER_PAYLOADS) or not set(widths) <= {"64", "32"}:
        ap.error("--payloads takes mixed, small, large; --widths 64 and 32")

    engine, classic_zip, mkinstaller = build_tools()
    (ROOT / "build").mkdir(exist_ok=True)
    work = Path(tempfile.mkdtemp(prefix="bench-", dir=ROOT / "build"))
    try:
        print(f"machine: {os.uname().machine}, {os.cpu_count()} cpus, "
              f"{cpu_model()}; date: {time.strftime('%Y-%m-%d %H:%M %Z')}")
        for name, roots in CORPORA.items() if args.section in ("all", "extract") else ():
            files, total = pick_files(roots)
            inputs = make_inputs(work, name, files)
            sizes = ", ".join(f"{k} {inputs[k].stat().st_size / 1e6:.1f} MB"
                              for k in ("deflated", "stored", "gz"))
            print(f"\n{name}: {len(files)} files, {total / 1e6:.1f} MB ({sizes})")
            for kind in ("deflated", "stored"):
                check_engine(engine, inputs[kind], files, work)
                report(kind, tools_for(engine, inputs, kind, work), args.rounds)
        if args.section in ("all", "classic"):
            classic(engine, classic_zip, work, args.rounds)
        if args.section in ("all", "decode"):
            decode(engine, work, args.rounds)
        if args.section in ("all", "builder"):
            builder(mkinstaller, work, args.rounds)
        if args.section in ("all", "check"):
            check(mkinstaller, work, args.rounds, args.baseline)
        if args.section in ("all", "installer"):
            installer(mkinstaller, work, args.rounds, payloads, [int(w) for w in widths])
        if args.section in ("all", "sizes"):
            installer_sizes(mkinstaller, work, payloads)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def cpu_model():
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown cpu"


if __name__ == "__main__":
    main()
