#!/usr/bin/env bash
# Stamps generated software lists of 1 MB and 100 MB (lines of 20 to 120
# bytes) and one of a single 100 MB line, and reports, side by side, the
# median wall time of
#   tavrin   the program (reads, writes a new list, flushes it, swaps),
#   dd       a durable copy of the same file (bs=128k conv=fsync): the floor,
#            since the program must write and flush the whole list too,
#   awk      an awk script doing the same rewrite, without flushing,
# and the peak memory (maximum resident set) of each.
#
# Usage: bench/stamp_bench.sh [runs]   (default 9; builds the program first)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-9}

cmake --preset native >/dev/null
cmake --build --preset native --target tavrin >/dev/null
tavrin=$PWD/build/native/tavrin

# The backup is named after the list's path up to its first ".", so the
# working directory must have none: in /tmp/tmp.XXXX the backup would be
# /tmp/tmp.bak, outside the directory that is cleaned up.
work=$(mktemp -d /tmp/tavrin-bench-XXXXXX)
case $work in *.*) echo "stamp_bench: $work has a \".\"" >&2; exit 1 ;; esac
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT

# One line of about $1 bytes, the marker at its end: the worst case for
# memory, since the line must be written before it is known to be marked.
make_line() {
  { head -c "$1" /dev/zero | tr '\0' x; printf ' Service Pack 1\r\ntail\r\n'; } > "$2"
}

# Lines of 20 to 120 bytes with CR LF ends, one "Service Pack" line in the middle.
make_list() {
  awk -v bytes="$1" 'BEGIN {
    srand(7); total = 0; n = 0; marked = 0
    while (total < bytes) {
      if (!marked && total >= bytes / 2) { line = "Service Pack 1.0"; marked = 1 }
      else { len = 20 + int(rand() * 100); line = sprintf("Tool %d ", n++)
             while (length(line) < len) line = line "x" }
      printf "%s\r\n", line; total += length(line) + 2
    }
  }' > "$2"
}

# The same job as the program, in awk: a line ends at CR or CR LF, the first
# marked line becomes the stamp, later ones go, CR LF after every line.
cat > "$work/stamp.awk" <<'AWK'
BEGIN { RS = "\r\n|\r"; ORS = "\r\n"; stamp = "Service Pack                   (Version: 0.0)" }
/Service Pack/ { if (!done) { print stamp; done = 1 }; next }
{ print }
END { if (!done) print stamp }
AWK

# Median of the numbers on standard input.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Seconds taken by one run of the command in "$@". Whatever earlier runs left
# to write back is written first, so that no run pays for another's.
seconds() {
  sync
  local start=$EPOCHREALTIME
  "$@"
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f\n", b - a }'
}

# Peak memory in kB of one run of the command in "$@".
peak_kb() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }

run_tavrin() { Software_Txt="$list" "$tavrin"; }
run_dd() { dd if="$list" of="$work/copy" bs=128k conv=fsync status=none; }
run_awk() { awk -f "$work/stamp.awk" "$list" > "$work/awk.txt"; }

printf '%-10s %-7s %12s %10s %14s\n' list tool median_s vs_dd peak_memory_kB
for shape in 1MB 100MB 100MB-line; do
  list=$work/Software.txt
  chmod -R u+w "$work"; rm -f "$work"/Software.* "$work"/copy "$work"/awk.txt "$work"/pristine
  case $shape in
    1MB) make_list 1000000 "$list" ;;
    100MB) make_list 100000000 "$list" ;;
    100MB-line) make_line 100000000 "$list" ;;
  esac
  # Every run starts from this list: a stamped single line is no longer long.
  cp "$list" "$work/pristine"
  # awk takes about a minute for the single line (its record splitting goes
  # back over the line): left out there.
  tools="tavrin dd awk"
  [ "$shape" = 100MB-line ] && tools="tavrin dd"
  # The tools take turns, so that a slow spell of the machine hits them alike.
  declare -A times=() median_of=()
  for _ in $(seq "$runs"); do
    for tool in $tools; do
      chmod u+w "$list" && cp "$work/pristine" "$list"
      times[$tool]+="$(seconds "run_$tool") "
    done
  done
  for tool in $tools; do
    median_of[$tool]=$(printf '%s\n' ${times[$tool]} | median)
  done
  for tool in $tools; do
    case $tool in
      tavrin) chmod u+w "$list" && cp "$work/pristine" "$list" && kb=$(Software_Txt="$list" peak_kb "$tavrin") ;;
      dd) kb=$(peak_kb dd if="$list" of="$work/copy" bs=128k conv=fsync status=none) ;;
      awk) kb=$(peak_kb awk -f "$work/stamp.awk" "$list") ;;
    esac
    ratio=$(awk -v a="${median_of[$tool]}" -v b="${median_of[dd]}" 'BEGIN { printf "%.2fx", a / b }')
    printf '%-10s %-7s %12s %10s %14s\n' "$shape" "$tool" "${median_of[$tool]}" "$ratio" "$kb"
  done
done
