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
