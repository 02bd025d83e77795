#!/usr/bin/env bash
# Patch benchmark: the installer patching changed files from their old copies
# (block maps and range requests) against zsync (zsyncmake maps of the same
# block size) and a whole-file curl, all from nginx on 127.0.0.1, in one run.
# Usage: run.sh [--quick] [BUILD_DIR]
#
# Tools: the installer, zsync, zsync-clean (zsync, then the old copy it
# leaves beside the result removed, as the installer does), a whole-file curl.
# Cases, on a file of random data (256 MiB; --quick: 32 MiB):
#   a  1% changed in three places
#   b  4 KiB inserted near the start (every later offset moves)
#   c  a sixteenth appended (16 MiB of 256)
#   d  all new content (the installer also against its own whole fetch,
#      without a map)
#   tree  200 files of 1.25 MiB (--quick: 50), a tenth changed like a; the
#      peers learn which by md5sum -c, the installer by its own check
# Figures: bytes nginx sent (headers, maps and .zsync files included), wall
# seconds and CPU seconds (user + system, every process and thread of the
# tool; steadier than wall time on a shared machine) per tool, best of the
# rounds, and the median wall time (QUELLAN_BENCH_ROUNDS overrides their
# number); each result is checked against the new content. For profiling:
# QUELLAN_BENCH_CASES picks cases ("a d"), QUELLAN_BENCH_WRAP prefixes the
# installer's command (a profiler). QUELLAN_BENCH_BASELINE names another
# quellan-cli (an earlier build) measured as quellan-base in the same run.
set -euo pipefail

quick=0
build=build
for arg in "$@"; do
  case $arg in
    --quick) quick=1 ;;
    *) build=$arg ;;
  esac
done
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$root" && cd "$build" && pwd)
cli=$build/quellan-cli
devserver=$build/quellan-devserver
publish=$build/quellan-publish
for tool in "$cli" "$devserver" "$publish"; do
  [ -x "$tool" ] || { echo "missing $tool: build it first" >&2; exit 1; }
done
for tool in nginx zsync zsyncmake curl md5sum python3; do
  command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "missing $tool (scripts/packages.txt)" >&2; exit 1; }
done
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

if [ $quick = 1 ]; then
  big_mib=32; tree_files=50; rounds=1
else
  big_mib=256; tree_files=200; rounds=2
fi
rounds=${QUELLAN_BENCH_ROUNDS:-$rounds}

work=$(mktemp -d "${TMPDIR:-/tmp}/quellan-patch-bench-XXXXXX")
chmod 755 "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  local p
  while :; do
    p=$((20000 + RANDOM % 20000))
    (exec 3<>/dev/tcp/127.0.0.1/$p) 2>/dev/null || { echo $p; return; }
  done
}

# --- Content -----------------------------------------------------------------
content=$work/content
old=$work/old
mkdir -p "$content" "$old/big" "$old/tree"
echo "generating content in $work ..." >&2
python3 - "$work" "$big_mib" "$tree_files" <<'PY'
import os, random, sys
work, big_mib, tree_files = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(22)
def rand(n): return b''.join(rng.randbytes(min(1 << 20, n - at)) for at in range(0, n, 1 << 20))
def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f: f.write(data)
def change_a(data):
    # 1% in three places
    data = bytearray(data); n = len(data) // 300
    for at in (len(data) // 10, len(data) // 2, len(data) * 9 // 10):
        data[at:at + n] = rand(n)
    return bytes(data)
size = big_mib << 20
old = rand(size)
write(f"{work}/old/big/game.bin", old)
cases = {
    "a": change_a(old),
    "b": old[:100000] + rand(4096) + old[100000:],
    "c": old + rand(size // 16),
    "d": rand(size),
}
for name, data in cases.items():
    write(f"{work}/content/{name}/game.bin", data)
for i in range(tree_files):
    data = rand(1280 << 10)
    write(f"{work}/old/tree/f{i:03d}.bin", data)
    write(f"{work}/content/tree/f{i:03d}.bin", change_a(data) if i % 10 == 3 else data)
PY
big_bs=$(python3 -c "
import math
def choose(n):
    s = 2048
    while s < 65536 and s * 1.5 < math.sqrt(n): s *= 2
    return s
print(choose($big_mib << 20))")
tree_bs=2048
for c in a b c d tree; do
  "$publish" "$content/$c" --list "$content/$c/filelist.json" >/dev/null
done

# --- Servers -----------------------------------------------------------------
nport=$(free_port)
mkdir -p "$work/nginx"
cat > "$work/nginx/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 1024; }
http {
  log_format bytes '\$bytes_sent';
  access_log $work/nginx/access.log bytes;
  sendfile on;
  keepalive_requests 100000;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$nport;
    root $work/content;
  }
}
CONF
"$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
pids+=($!)
files=http://127.0.0.1:$nport
# zsync's maps, of the same block size, kept apart from the installer's lists.
for c in a b c d; do
  mkdir -p "$content/zs/$c"
  zsyncmake -b "$big_bs" -u "$files/$c/game.bin" -o "$content/zs/$c/game.bin.zsync" "$content/$c/game.bin" >/dev/null
done
mkdir -p "$content/zs/tree"
for f in "$content"/tree/*.bin; do
  n=$(basename "$f")
  zsyncmake -b "$tree_bs" -u "$files/tree/$n" -o "$content/zs/tree/$n.zsync" "$f" >/dev/null
done
(cd "$content/tree" && md5sum *.bin) > "$work/tree.md5"

sport=$(free_port)
# The configuration names each list's SHA-256 (an installer refuses a list
# that does not match it).
list_sha() { sha256sum "$content/$1/filelist.json" | cut -d' ' -f1; }
# One edition per case: alder a, birch b, cedar c, dogwood d, elm tree.
"$devserver" --port "$sport" --config "filelist_url_prefix=$files/" \
  --config "alder_file_sha256=$(list_sha a)" --config "birch_file_sha256=$(list_sha b)" \
  --config "cedar_file_sha256=$(list_sha c)" --config "dogwood_file_sha256=$(list_sha d)" \
  --config "elm_file_sha256=$(list_sha tree)" \
  --config "alder_file_url=a/filelist.json" --config "alder_downloadurl_prefix=$files/a/" \
  --config "birch_file_url=b/filelist.json" --config "birch_downloadurl_prefix=$files/b/" \
  --config "cedar_file_url=c/filelist.json" --config "cedar_downloadurl_prefix=$files/c/" \
  --config "dogwood_file_url=d/filelist.json" --config "dogwood_downloadurl_prefix=$files/d/" \
  --config "elm_file_url=tree/filelist.json" --config "elm_downloadurl_prefix=$files/tree/" \
  >"$work/devserver.log" 2>&1 &
pids+=($!)
ready=0
for _ in $(seq 100); do
  if curl -sf -o /dev/null "$files/a/filelist.json" && curl -s -o /dev/null "http://127.0.0.1:$sport/"; then
    ready=1; break
  fi
  sleep 0.1
done
[ $ready = 1 ] || { echo "nginx or the devserver did not come up" >&2; exit 1; }
export QUELLAN_SERVICE_BASE=http://127.0.0.1:$sport QUELLAN_SERVICE_FALLBACK=http://127.0.0.1:$sport
export HOME=$work/home TMPDIR=$work/tmp
mkdir -p "$HOME" "$TMPDIR"

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
log_lines() { wc -l < "$work/nginx/access.log" 2>/dev/null || echo 0; }
# Bytes nginx sent since line $1 of its log (it writes a line when a request ends).
bytes_since() {
  sleep 0.05
  tail -n +"$(($1 + 1))" "$work/nginx/access.log" | awk '{ s += $1 } END { printf "%d", s }'
}

edition_of() { case $1 in a) echo alder ;; b) echo birch ;; c) echo cedar ;; d) echo dogwood ;; tree) echo elm ;; esac; }

# CPU seconds (user + system) the shell's finished children used so far, as
# the builtin times wrote them to file $1. times must run in the shell that
# started the tool, not in a command substitution (a subshell of its own).
cpu_of() {
  tail -1 "$1" | awk '{ for (i = 1; i <= 2; i++) { split($i, p, "m"); s += p[1] * 60 + p[2] } } END { printf "%.3f", s }'
}

# run TOOL CASE: one update of the old copy to the case's content; prints
# "seconds bytes cpu-seconds" (the tool's processes, all their threads).
run() {
  local tool=$1 c=$2 dest=$work/out start end lines
  rm -rf "$dest"; mkdir -p "$dest"
  if [ "$c" = tree ]; then cp "$old"/tree/*.bin "$dest/"; else cp "$old/big/game.bin" "$dest/"; fi
  sync
  lines=$(log_lines)
  times > "$work/times.start"
  start=$(now)
  case $tool in
    quellan|quellan-whole|quellan-base)
      local bin=$cli
      [ "$tool" = quellan-base ] && bin=$QUELLAN_BENCH_BASELINE
      ${QUELLAN_BENCH_WRAP:-} "$bin" install --edition "$(edition_of "$c")" --path "$dest/" --no-shortcut --stats \
        >/dev/null 2>"$work/quellan.err" || { cat "$work/quellan.err" >&2; return 1; } ;;
    zsync|zsync-clean)
      if [ "$c" = tree ]; then
        (cd "$dest" && md5sum -c --quiet "$work/tree.md5" 2>/dev/null | sed -n 's/: FAILED$//p' > "$work/changed" || true
         while read -r n; do zsync -q -o "$n" "$files/zs/tree/$n.zsync" >/dev/null 2>&1; done < "$work/changed")
      else
        (cd "$dest" && zsync -q -o game.bin "$files/zs/$c/game.bin.zsync" >/dev/null 2>&1)
      fi
      # zsync keeps the old copy beside the new one (FILE.zs-old); the
      # installer removes it. zsync-clean removes it too, within the time.
      if [ "$tool" = zsync-clean ]; then rm -f "$dest"/*.zs-old; fi ;;
    curl)
      if [ "$c" = tree ]; then
        (cd "$dest" && md5sum -c --quiet "$work/tree.md5" 2>/dev/null | sed -n 's/: FAILED$//p' > "$work/changed" || true
         while read -r n; do curl -sf -o "$n" "$files/tree/$n"; done < "$work/changed")
      else
        curl -sf -o "$dest/game.bin" "$files/$c/game.bin"
      fi ;;
  esac
  end=$(now)
  times > "$work/times.end"
  local cpu; cpu=$(calc "$(cpu_of "$work/times.end") - $(cpu_of "$work/times.start")")
  local bytes; bytes=$(bytes_since "$lines")
  # The result must be the new content.
  if [ "$c" = tree ]; then
    (cd "$dest" && md5sum -c --quiet "$work/tree.md5") >/dev/null || { echo "$tool $c: wrong result" >&2; return 1; }
  else
    cmp -s "$dest/game.bin" "$content/$c/game.bin" || { echo "$tool $c: wrong result" >&2; return 1; }
  fi
  echo "$(calc "$end - $start") $bytes $cpu"
}

declare -A secs bytes cpus all
read -r -a cases <<< "${QUELLAN_BENCH_CASES:-a b c d tree}"
for ((r = 0; r < rounds; r++)); do
  for c in "${cases[@]}"; do
    tools=(quellan zsync zsync-clean curl)
    [ "$c" = d ] && tools+=(quellan-whole)
    [ -n "${QUELLAN_BENCH_BASELINE:-}" ] && tools+=(quellan-base)
    for tool in "${tools[@]}"; do
      if [ "$tool" = quellan-whole ]; then mv "$content/d/game.bin.qbm" "$work/d.qbm"; fi
      read -r s b u < <(run "$tool" "$c")
      if [ "$tool" = quellan-whole ]; then mv "$work/d.qbm" "$content/d/game.bin.qbm"; fi
      key=$tool.$c
      all[$key]="${all[$key]:-} $s"
      if [ -z "${secs[$key]:-}" ] || awk "BEGIN { exit !($s < ${secs[$key]}) }"; then secs[$key]=$s; fi
      if [ -z "${cpus[$key]:-}" ] || awk "BEGIN { exit !($u < ${cpus[$key]}) }"; then cpus[$key]=$u; fi
      bytes[$key]=$b
      [ "$tool" = quellan ] && grep '^stats:' "$work/quellan.err" | tail -1 | sed "s/^/  $c: /" >&2
    done
  done
done

# The median of a tool's wall times (a busy machine moves the best one less
# than the rest, so both are shown).
median() { tr ' ' '\n' <<< "${all[$1]}" | grep . | sort -g | awk '{ v[NR] = $1 } END { printf "%.6f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo
echo "Patch benchmark: ${big_mib} MiB file (blocks of $big_bs bytes), tree of $tree_files files of 1.25 MiB (blocks of $tree_bs), best and median of $rounds"
printf '%-6s %-14s %12s %9s %14s %14s %9s %10s %9s %14s\n' case tool bytes seconds "bytes/zsync" "seconds/zsync" "cpu s" "cpu/zsync" "median s" "median/zsync"
for c in "${cases[@]}"; do
  tools=(quellan zsync zsync-clean curl)
  [ "$c" = d ] && tools+=(quellan-whole)
  [ -n "${QUELLAN_BENCH_BASELINE:-}" ] && tools+=(quellan-base)
  for tool in "${tools[@]}"; do
    printf '%-6s %-14s %12d %9.3f %14.3f %14.3f %9.3f %10.3f %9.3f %14.3f\n' "$c" "$tool" "${bytes[$tool.$c]}" "${secs[$tool.$c]}" \
      "$(calc "${bytes[$tool.$c]} / ${bytes[zsync.$c]}")" "$(calc "${secs[$tool.$c]} / ${secs[zsync.$c]}")" \
      "${cpus[$tool.$c]}" "$(calc "${cpus[$tool.$c]} / ${cpus[zsync.$c]}")" \
      "$(median "$tool.$c")" "$(calc "$(median "$tool.$c") / $(median "zsync.$c")")"
  done
done
if [ -n "${secs[quellan-whole.d]:-}" ]; then
  echo "d: quellan with its map over its own whole fetch: $(calc "${secs[quellan.d]} / ${secs[quellan-whole.d]}")x the time"
fi
