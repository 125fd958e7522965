#!/usr/bin/env bash
# Converter benchmark: the same batch of photos, fit into 1024 x 768, written as PNG and as JPEG by
# VarnelSilent (one process per file, as the front end runs it), ImageMagick's convert (one process
# per file), GraphicsMagick's mogrify (one process for the batch) and vipsthumbnail (one process per
# file, and one for the batch). Reports wall time per image and the peak memory of the largest
# process, then the tool's start-up time on a 1 x 1 image.
#
#   bench/convert_bench.sh [BUILD_DIR] [COUNT] [WIDTHxHEIGHT]     (defaults: build 20 3000x2000)
#
# Needs: imagemagick, graphicsmagick, libvips-tools (apt-get install graphicsmagick libvips-tools).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
count=${2:-20}
size=${3:-3000x2000}
tool=$PWD/$build/bin/VarnelSilent
[ -x "$tool" ] || { echo "no $tool; build the VarnelSilent target first" >&2; exit 1; }
# ImageMagick itself, not a wrapper that may stand in front of it on the PATH.
im=$(command -v convert-im6.q16 || command -v convert)
for p in gm vipsthumbnail "$im"; do command -v "$p" >/dev/null || { echo "missing $p" >&2; exit 1; }; done

work=$(mktemp -d /tmp/varnel-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"

echo "Making $count photos of $size (JPEG, quality 92) in $work/in ..."
"$im" -size "$size" -seed 7 plasma:fractal -blur 0x1 -quality 92 "$work/base.jpg"
for i in $(seq 1 "$count"); do
  "$im" "$work/base.jpg" -roll +$((i * 131))+$((i * 71)) -modulate 100,$((80 + i * 2)),$((100 + i * 5)) \
        -quality 92 "$work/in/photo$(printf %02d "$i").jpg"
done
"$im" -size 1x1 xc:red "$work/one.png"
"$im" -size 1x1 xc:red "$work/one.bmp"

python3 - "$work" "$tool" "$im" <<'PY'
import glob, os, shutil, subprocess, sys, time
work, tool, im = sys.argv[1:4]
photos = sorted(glob.glob(os.path.join(work, "in", "*.jpg")))
n = len(photos)

def run(cmds, cwd=None):
    """Runs the commands one after another; returns wall seconds and the largest peak RSS (MiB)."""
    peak = 0
    start = time.perf_counter()
    for cmd in cmds:
        p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, cwd=cwd)
        _, status, usage = os.wait4(p.pid, 0)
        p.returncode = os.waitstatus_to_exitcode(status)
        err = p.stderr.read().decode(errors="replace")
        p.stderr.close()
        if p.returncode != 0:
            sys.exit(f"failed ({p.returncode}): {' '.join(cmd)}\n{err}")
        peak = max(peak, usage.ru_maxrss / 1024.0)
    return time.perf_counter() - start, peak

def out_dir(name):
    d = os.path.join(work, "out", name)
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)
    return d

def stem(p):
    return os.path.splitext(os.path.basename(p))[0]

rows = []
for ext in ("png", "jpg"):
    jobs = {}
    d = out_dir("varnel-" + ext)
    jobs["VarnelSilent (per file)"] = [[tool, tool, "-i", p, "-o", f"{d}/{stem(p)}.{ext}", "-s", "1024x768", "-x", "sp", "-ow"]
                                       for p in photos]
    d = out_dir("im-" + ext)
    jobs["ImageMagick convert (per file)"] = [[im, p, "-resize", "1024x768", f"{d}/{stem(p)}.{ext}"] for p in photos]
    d = out_dir("gm-" + ext)
    jobs["GraphicsMagick mogrify (batch)"] = [["gm", "mogrify", "-output-directory", d, "-resize", "1024x768",
                                               "-format", ext] + [os.path.basename(p) for p in photos]]
    d = out_dir("vips-" + ext)
    jobs["vipsthumbnail (per file)"] = [["vipsthumbnail", p, "-s", "1024x768", "-o", f"{d}/%s.{ext}"] for p in photos]
    d = out_dir("vipsb-" + ext)
    jobs["vipsthumbnail (batch)"] = [["vipsthumbnail", "-s", "1024x768", "-o", f"{d}/%s.{ext}"] + photos]
    for name, cmds in jobs.items():
        cwd = os.path.join(work, "in")  # mogrify writes below -output-directory by the names given
        run(cmds[:1], cwd)  # warm the caches
        wall, peak = run(cmds, cwd)
        rows.append((ext.upper(), name, wall * 1000 / n, peak))

print(f"\n{n} photos, fit into 1024 x 768; machine: {os.cpu_count()} cores")
print(f"{'output':6} {'program':34} {'ms/image':>9} {'peak MiB':>9}")
for ext, name, ms, peak in rows:
    print(f"{ext:6} {name:34} {ms:9.1f} {peak:9.1f}")

def startup(src, out):
    times = []
    for _ in range(50):
        t = time.perf_counter()
        subprocess.run([tool, "-i", src, "-o", out, "-ow"], check=True)
        times.append(time.perf_counter() - t)
    times.sort()
    return times[len(times) // 2] * 1000

empty = []
for _ in range(50):
    t = time.perf_counter()
    subprocess.run(["/bin/true"], check=True)
    empty.append(time.perf_counter() - t)
empty.sort()
print(f"\nStart-up, 1 x 1 image (median of 50 runs; starting /bin/true costs {empty[25] * 1000:.1f} ms here):")
for src, out in ((f"{work}/one.bmp", f"{work}/one-out.png"), (f"{work}/one.png", f"{work}/one-out.bmp")):
    try:
        print(f"  {os.path.basename(src)} -> {os.path.basename(out)}: {startup(src, out):.1f} ms")
    except subprocess.CalledProcessError:
        print(f"  {os.path.basename(src)} -> {os.path.basename(out)}: not readable by this build")
PY
