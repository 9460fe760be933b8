#!/usr/bin/env bash
# Engine benchmarks: loops, recursion, string building and 反復 in Morivel against Python 3 and Lua 5.4.
# Builds first (scripts/build.sh; MORIVEL_BUILD_DIR picks another build folder), then prints the best
# wall time (and the best CPU time) of three runs of each program and checks that the programs of one
# benchmark print the same result. Lua is skipped, with a note, when lua5.4 is not installed.
# Benchmarks are not tests: they never run in CI.
# Usage: bench/run_engine.sh [--no-build] [benchmark ...]   (names of bench/engine/*.mrv, default all)
# PYTHON=/path/to/python3 compares with another Python than Debian's.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
suite="$here/engine"
runs=3
limit=600  # seconds one run may take before it counts as failed

build=yes
names=()
for arg in "$@"; do
  case "$arg" in
    --no-build) build=no ;;
    -*) echo "usage: $0 [--no-build] [benchmark ...]" >&2; exit 2 ;;
    *) names+=("$arg") ;;
  esac
done
if [ ${#names[@]} -eq 0 ]; then
  names=(counted_loop count_loop while_loop array_read fibonacci string_build each_list replace_text)
fi
for name in "${names[@]}"; do
  for ext in mrv py lua; do
    [ -f "$suite/$name.$ext" ] || { echo "missing $suite/$name.$ext" >&2; exit 2; }
  done
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home"

build_dir="${MORIVEL_BUILD_DIR:-build}"
case "$build_dir" in
  /*) morivel="$build_dir/morivel" ;;
  *) morivel="$root/$build_dir/morivel" ;;
esac
if [ "$build" = yes ]; then
  echo "building ($build_dir) ..."
  if ! bash "$root/scripts/build.sh" > "$work/build.log" 2>&1; then
    grep -E 'FAILED:|error' "$work/build.log" | head -n 20 >&2 || true
    tail -n 3 "$work/build.log" >&2
    echo "build failed (scripts/build.sh)" >&2
    exit 1
  fi
fi
[ -x "$morivel" ] || { echo "no executable at $morivel (build first)" >&2; exit 1; }

command -v python3 > /dev/null || { echo "python3 is needed (it converts the scripts and runs the Python twins)" >&2; exit 1; }
# The twins run on the interpreter itself: a version manager's python3 on the PATH is a shell script
# that starts it, which once made Python look several times slower than it is. Debian's python3 is
# the reference; PYTHON names another interpreter.
python="${PYTHON:-}"
if [ -z "$python" ]; then
  if [ -x /usr/bin/python3 ]; then python=/usr/bin/python3; else python="$(command -v python3)"; fi
fi
python="$("$python" -c 'import sys; print(sys.executable)')"
lua="$(command -v lua5.4 || true)"
if [ -z "$lua" ]; then
  echo "NOTE: lua5.4 is not installed, so the Lua column is skipped (apt-get install lua5.4 to fill it)."
fi

# Scripts are kept in UTF-8 for reading; the run-time reads Shift-JIS.
to_sjis() {
  python3 -c 'import sys; open(sys.argv[2], "wb").write(open(sys.argv[1], encoding="utf-8").read().encode("cp932"))' "$1" "$2"
}

# Runs a command $runs times and prints "best_wall best_cpu" in seconds (cpu = user + system, which
# a busy machine disturbs less than wall time). The output of the last run is left in $work/out and
# its error output in $work/err. Fails with the command's status as soon as one run fails.
best_times() {
  local best_wall="" best_cpu="" wall user sys cpu i TIMEFORMAT='%R %U %S'
  for ((i = 0; i < runs; i++)); do
    { time "$@" > "$work/out" 2> "$work/err" < /dev/null; } 2> "$work/time" || return
    read -r wall user sys < "$work/time"
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')
    best_wall=$(smaller "$wall" "$best_wall")
    best_cpu=$(smaller "$cpu" "$best_cpu")
  done
  echo "$best_wall $best_cpu"
}

smaller() {
  if [ -z "$2" ] || awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; then echo "$1"; else echo "$2"; fi
}

# shellcheck disable=SC2317  # called through best_times
run_morivel() {
  (cd "$work" && timeout "$limit" env QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 HOME="$work/home" \
    "$morivel" -console "$1.mrv")
}

ratio() {
  case "$1$2" in
    *-*) echo "-" ;;
    *) awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.1f", a / b; else print "-" }' ;;
  esac
}

print_row() {
  printf '%-14s %9s %9s %9s %7s %7s   %9s %9s %9s\n' "$@"
}

status=0
notes=()
note() {
  notes+=("$1")
  status=1
}

# Measures one program of benchmark $name: sets wall, cpu and out, or leaves "-" when it failed.
measure() {
  local language="$1" times rc=0
  shift
  wall="-" cpu="-" out=""
  times=$(best_times "$@") || rc=$?
  if [ "$rc" -ne 0 ]; then
    note "$name: $language failed (exit status $rc$([ "$rc" -eq 124 ] && echo ", timed out")): $(cat "$work/err")"
    return
  fi
  read -r wall cpu <<< "$times"
  out=$(cat "$work/out")
}

same_result() {
  local other="$1" other_wall="$2" other_out="$3"
  [ "$m" = "-" ] || [ "$other_wall" = "-" ] || [ "$m_out" = "$other_out" ] ||
    note "$name: MISMATCH morivel printed '$m_out', $other printed '$other_out'"
}

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg) (wall times grow when the machine is busy)"
echo "python: $python ($("$python" --version 2>&1))"
print_row benchmark morivel_s python_s lua_s mrv/py mrv/lua cpu_mrv cpu_py cpu_lua
for name in "${names[@]}"; do
  to_sjis "$suite/$name.mrv" "$work/$name.mrv"
  measure morivel run_morivel "$name"
  m=$wall mc=$cpu m_out=$out
  measure python timeout "$limit" "$python" "$suite/$name.py"
  p=$wall pc=$cpu p_out=$out
  l="-" lc="-" l_out=""
  if [ -n "$lua" ]; then
    measure lua timeout "$limit" "$lua" "$suite/$name.lua"
    l=$wall lc=$cpu l_out=$out
  fi
  same_result python "$p" "$p_out"
  same_result lua "$l" "$l_out"
  print_row "$name" "$m" "$p" "$l" "$(ratio "$m" "$p")" "$(ratio "$m" "$l")" "$mc" "$pc" "$lc"
done

for n in "${notes[@]+"${notes[@]}"}"; do
  echo "$n" >&2
done
exit "$status"
