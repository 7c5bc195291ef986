# Shared by the benchmark scripts (sourced, not run; the script sets top
# first): the folder the images are kept in, the benchmark program, Wine,
# timing, and the FAT32 images filled by mtools.
. "$top/scripts/lib.sh"
bench=$top/build/bench
mkdir -p "$bench"

now() { date +%s.%N; }

# bench_exe NAME: brings the x86_64 build up to date and sets exe to the
# program NAME.exe in it.
bench_exe() {
  exe=$top/build/x86_64/bin/$1.exe
  bash "$top/scripts/build.sh" x86_64 >/dev/null
  [ -x "$exe" ] || die "no $exe"
}

# bench_wine: starts the project's Wine; it is stopped when the script ends
# unless SALVORA_KEEP_WINE is set.
# Wine's desktop process is kept up for the length of the benchmark too, as
# the server and its services are: it starts with the first window of a
# process and ends a moment after the last one, so a program with a window
# would otherwise pay its start (about a second under load) on every run, a
# cost of Wine's that a Windows PC, whose desktop is always there, never has.
# SALVORA_BENCH_COLD_DESKTOP=1 leaves it to come and go as it does by default.
bench_wine() {
  stage "wine"
  . "$top/scripts/wine-env.sh"
  wine_start
  [ -n "${SALVORA_KEEP_WINE:-}" ] || trap wine_stop EXIT
  if [ -z "${SALVORA_BENCH_COLD_DESKTOP:-}" ]; then
    # A window of Wine's own holds the desktop; it ends with the server.
    wine notepad </dev/null >/dev/null 2>&1 &
    local i
    for i in $(seq 50); do
      pgrep -f 'explorer.exe /desktop' >/dev/null && break
      sleep 0.1
    done
  fi
}

# tree_sums DIR: "sha256  ./path" of every file below DIR.
tree_sums() { (cd "$1" && find . -type f -exec sha256sum {} +); }

# bench_fill_fat IMAGE SEED FOLDERS FILES MIN MAX DIGITS DELETE: fills a
# freshly made FAT image with mtools: FOLDERS folders "Folder <n>" (n with
# DIGITS digits) of FILES random files "Bench File <n>.bin" of MIN..MAX bytes
# each (random.Random(SEED)); with DELETE 1, every second file of each folder
# is deleted again.
bench_fill_fat() {
  python3 - "$@" <<'PY'
import os, random, shutil, subprocess, sys, tempfile
img = sys.argv[1]
seed, folders, per, lo, hi, digits, delete = map(int, sys.argv[2:9])
env = dict(os.environ, MTOOLS_SKIP_CHECK="1", LC_ALL="C.UTF-8", LANG="C.UTF-8")
rng = random.Random(seed)
tmp = tempfile.mkdtemp(prefix="bench-fat-")
try:
    for d in range(folders):
        folder = "Folder %0*d" % (digits, d)
        subprocess.run(["mmd", "-i", img, "::/" + folder], check=True, env=env)
        src = os.path.join(tmp, folder)
        os.makedirs(src)
        names = []
        for i in range(per):
            name = "Bench File %05d.bin" % (d * per + i)
            with open(os.path.join(src, name), "wb") as f:
                f.write(rng.randbytes(rng.randint(lo, hi)))
            names.append(os.path.join(src, name))
        subprocess.run(["mcopy", "-i", img] + names + ["::/" + folder + "/"], check=True, env=env)
        shutil.rmtree(src)
    if delete:
        for d in range(folders):
            victims = ["::/Folder %0*d/Bench File %05d.bin" % (digits, d, d * per + i) for i in range(0, per, 2)]
            subprocess.run(["mdel", "-i", img] + victims, check=True, env=env)
finally:
    shutil.rmtree(tmp, ignore_errors=True)
PY
}

# bench_floor FOLDER FILES BYTES THREADS FOLDERS: the milliseconds the same
# number of output files cost under this Wine without reading any disk
# (created, written, times set, size read back, closed; bench_files), on
# THREADS threads, spread over FOLDERS folders below FOLDER (a Unix path,
# emptied first). No copy-out can be faster here than this.
bench_floor() {
  rm -rf "$1" && mkdir -p "$1"
  "$top/scripts/wine-run" --dir F="$1" "$top/build/x86_64/bin/bench_files.exe" 'F:\floor' "$2" "$3" "$4" "$5" |
    tr -d '\r' | awk '/^floor_ms/{print $2}'
  rm -rf "$1"
}

# bench_floor_threads FOLDER FILES BYTES FOLDERS: bench_floor on 1, 2, 4 and
# 8 threads, as "1:ms 2:ms 4:ms 8:ms". Wine fetches a new file's Unix
# descriptor and closes its handle under one lock per process, each a round
# trip to its server, so the figure stops falling after two threads.
bench_floor_threads() {
  local th line=""
  for th in 1 2 4 8; do line="$line $th:$(bench_floor "$1" "$2" "$3" "$th" "$4")"; done
  echo "${line# }"
}

# bench_round_trip: microseconds of one round trip between two native
# processes over pipes, the kind every Wine server request makes. On a
# virtual machine whose CPUs sleep when idle it is several times what it is
# on a busy one, which is why a quiet machine gives Wine its worst figures.
bench_round_trip() {
  python3 - <<'PY'
import os, time
n = 20000
a, b = os.pipe(), os.pipe()
if os.fork() == 0:
    for _ in range(n):
        os.read(a[0], 1); os.write(b[1], b"x")
    os._exit(0)
t = time.perf_counter()
for _ in range(n):
    os.write(a[1], b"x"); os.read(b[0], 1)
print("%.1f" % ((time.perf_counter() - t) * 1e6 / n))
os.wait()
PY
}
