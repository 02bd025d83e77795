#!/usr/bin/env bash
# Download and verification benchmark: quellan-cli against aria2c and curl
# (downloads) and md5sum (verification), on the same content served by nginx
# on 127.0.0.1, interleaved in rounds. Usage: run.sh [--quick] [BUILD_DIR]
#
# Sets:    large  ~1 GiB in files of 4-64 MiB   (--quick: ~256 MiB)
#          small  ~5,000 files of 4-64 KiB       (--quick: 1,000)
# Figures: MB/s (1 MB = 10^6 bytes) and files/s per tool, best of the rounds;
#          the last line gives Quellan's throughput over the best peer's.
#
# Verified download of the large set, in the same rounds:
#   quellan      the installer: every byte hashed as it arrives
#   unverified   four curl processes at once (xargs -P4), nothing checked
#   verified     the same curls, then md5sum -c in as many processes as cores
#   limit        the bytes over (CPU seconds of the unverified peer, nginx
#                included, + CPU seconds of md5sum) / cores: what a tool that
#                transfers like curl and hashes like md5sum could reach with
#                every core busy
# Resume: the large set with every file half there (the same first halves),
# completed by quellan (parts with their resume records) and by curl -C -
# (four at once, then md5sum -c): seconds and bytes fetched.
# Copies: the large set fetched on one thread by the installer's libcurl
# client, by a plain socket into a buffer then written, and by a plain socket
# straight into the file's mapped pages (quellan-bench-receive): CPU seconds
# per GB show what the copy a mapping saves is worth.
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
gen=$build/quellan-bench-content
receive=$build/quellan-bench-receive
for tool in "$cli" "$devserver" "$gen" "$receive"; do
  [ -x "$tool" ] || { echo "missing $tool: build it first (cmake --build $build --target quellan-cli quellan-devserver quellan-bench-content quellan-bench-receive)" >&2; exit 1; }
done
for tool in nginx aria2c curl md5sum xargs; do
  command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "missing $tool" >&2; exit 1; }
done
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

if [ $quick = 1 ]; then
  large_mib=256; small_files=1000; rounds=2
else
  large_mib=1024; small_files=5000; rounds=3
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quellan-bench-XXXXXX")
chmod 755 "$work" # nginx workers may run as another user
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  # A port nobody listens on yet.
  local p
  while :; do
    p=$((20000 + RANDOM % 20000))
    (exec 3<>/dev/tcp/127.0.0.1/$p) 2>/dev/null || { echo $p; return; }
  done
}

# --- Content -----------------------------------------------------------------
content=$work/content
echo "generating content in $work ..." >&2
"$gen" --dir "$content/large" --total-mib "$large_mib" --min-kib 4096 --max-kib 65536 >/dev/null
"$gen" --dir "$content/small" --files "$small_files" --min-kib 4 --max-kib 64 --per-folder 100 >/dev/null
large_bytes=$(find "$content/large" -name '*.bin' -printf '%s\n' | awk '{s+=$1} END {printf "%d", s}')
large_count=$(find "$content/large" -name '*.bin' | wc -l)
small_bytes=$(find "$content/small" -name '*.bin' -printf '%s\n' | awk '{s+=$1} END {printf "%d", s}')
small_count=$(find "$content/small" -name '*.bin' | wc -l)

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
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 100000;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$nport;
    root $content;
  }
}
CONF
"$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
nginx_pid=$!
pids+=($nginx_pid)
files=http://127.0.0.1:$nport
sport=$(free_port)
"$devserver" --port "$sport" \
  --config "filelist_url_prefix=$files/" \
  --config "birch_file_url=large/filelist.json" --config "birch_downloadurl_prefix=$files/large/" \
  --config "elm_file_url=small/filelist.json" --config "elm_downloadurl_prefix=$files/small/" \
  >"$work/devserver.log" 2>&1 &
pids+=($!)
ready=0
for _ in $(seq 100); do
  if curl -sf -o /dev/null "$files/large/filelist.json" && curl -s -o /dev/null "http://127.0.0.1:$sport/"; then
    ready=1; break
  fi
  sleep 0.1
done
[ $ready = 1 ] || { echo "nginx or the devserver did not come up:" >&2; cat "$work/nginx/error.log" "$work/devserver.log" >&2; exit 1; }
export QUELLAN_SERVICE_BASE=http://127.0.0.1:$sport QUELLAN_SERVICE_FALLBACK=http://127.0.0.1:$sport
export HOME=$work/home TMPDIR=$work/tmp
mkdir -p "$HOME" "$TMPDIR"

# URL lists of the peers, in the list's order.
for set in large small; do
  (cd "$content/$set" && find . -name '*.bin' | sed 's|^\./||' | sort) > "$work/$set.files"
  : > "$work/$set.aria2"; : > "$work/$set.curl"
  while read -r f; do
    printf '%s\n  out=%s\n' "$files/$set/$f" "$f" >> "$work/$set.aria2"
    printf 'url = "%s"\noutput = "%s"\n' "$files/$set/$f" "$f" >> "$work/$set.curl"
  done < "$work/$set.files"
done

now() { date +%s.%N; }
clk_tck=$(getconf CLK_TCK)
# CPU seconds (user + system) nginx's processes have used so far.
nginx_cpu() {
  local total=0 p
  for p in $nginx_pid $(pgrep -P "$nginx_pid" || true); do
    [ -r "/proc/$p/stat" ] || continue
    total=$((total + $(awk '{print $14 + $15}' "/proc/$p/stat")))
  done
  awk "BEGIN { printf \"%.3f\", $total / $clk_tck }"
}
# timed FILE CMD...: runs CMD, writes "wall user+sys" (children included) to FILE.
timed() {
  local out=$1; shift
  local TIMEFORMAT='%R %U %S' status=0
  { time "$@" >/dev/null 2>"$out.err"; } 2> "$out.raw" || status=$?
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$out.raw" > "$out"
  return $status
}
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
# run_tool TOOL SET DEST: one download of SET into DEST, prints seconds.
run_tool() {
  local tool=$1 set=$2 dest=$3 start end
  local edition=birch; [ "$set" = small ] && edition=elm
  mkdir -p "$dest"
  start=$(now)
  case $tool in
    quellan)
      "$cli" install --edition "$edition" --path "$dest/" --no-shortcut --stats 2>"$work/quellan.err" >/dev/null ||
        { cat "$work/quellan.err" >&2; return 1; } ;;
    aria2c)
      aria2c -q -j4 -x1 --file-allocation=none --allow-overwrite=true --auto-file-renaming=false \
        -d "$dest" -i "$work/$set.aria2" ;;
    curl)
      (cd "$dest" && curl -s --parallel --parallel-max 4 --create-dirs -K "$work/$set.curl" 2>"$work/curl.err") ;;
  esac
  end=$(now)
  calc "$end - $start"
}

best() { sort -g | head -1; }
declare -A times
tools=(quellan aria2c curl)
for ((r = 0; r < rounds; r++)); do
  for set in large small; do
    # Rotate the order so no tool always follows another's deletions.
    for ((k = 0; k < ${#tools[@]}; k++)); do
      tool=${tools[$(((k + r) % ${#tools[@]}))]}
      dest=$work/out/$tool-$set-$r
      t=$(run_tool "$tool" "$set" "$dest")
      times[$tool.$set]+="$t "
      if [ "$tool" = quellan ] && [ "$set" = large ]; then
        grep '^stats:' "$work/quellan.err" | tail -1 >> "$work/stats"
      fi
      if [ "$tool" = quellan ] && [ "$set" = large ] && [ $r = $((rounds - 1)) ]; then
        verify_dir=$dest
      else
        rm -rf "$dest"
      fi
    done
  done
done

# Verification of the complete large set (already in the page cache).
declare -A vtimes
for ((r = 0; r < rounds; r++)); do
  start=$(now); "$cli" verify --edition birch --path "$verify_dir/" >/dev/null 2>&1; end=$(now)
  vtimes[quellan]+="$(calc "$end - $start") "
  start=$(now); (cd "$verify_dir" && md5sum $(cat "$work/large.files") >/dev/null); end=$(now)
  vtimes[md5sum]+="$(calc "$end - $start") "
  start=$(now); (cd "$verify_dir" && xargs -P4 -n1 md5sum < "$work/large.files" >/dev/null); end=$(now)
  vtimes[xargs-P4]+="$(calc "$end - $start") "
done

# --- Verified download against the physical limit ---------------------------
cores=$(nproc)
(cd "$content/large" && md5sum $(cat "$work/large.files")) > "$work/large.md5"
(cd "$work" && split -n "r/$cores" -d large.md5 large.md5.part.)
md5_lists=("$work"/large.md5.part.*)
: > "$work/large.pairs"
while read -r f; do printf '%s\n%s\n' "$f" "$files/large/$f" >> "$work/large.pairs"; done < "$work/large.files"
cat > "$work/md5par.sh" <<'SH'
cd "$1" || exit 1; shift
pids=(); for l in "$@"; do md5sum -c --quiet "$l" & pids+=($!); done
st=0; for p in "${pids[@]}"; do wait "$p" || st=1; done; exit $st
SH
curl_p4() { cd "$1" && xargs -P4 -n2 curl -sf --create-dirs "${@:3}" -o < "$2"; }
export -f curl_p4

declare -A vd # per measure: values of the rounds
for ((r = 0; r < rounds; r++)); do
  for tool in quellan curl; do
    [ $((r % 2)) = 1 ] && tool=$([ $tool = quellan ] && echo curl || echo quellan)
    dest=$work/verified/$tool-$r
    mkdir -p "$dest"
    n0=$(nginx_cpu)
    if [ $tool = quellan ]; then
      timed "$work/t" "$cli" install --edition birch --path "$dest/" --no-shortcut ||
        { cat "$work/t.err" >&2; exit 1; }
      n1=$(nginx_cpu)
      read -r wall cpu < "$work/t"
      vd[q.wall]+="$wall "; vd[q.cpu]+="$(calc "$cpu + $n1 - $n0") "
    else
      timed "$work/t" bash -c 'curl_p4 "$@"' _ "$dest" "$work/large.pairs" || { echo "curl failed" >&2; exit 1; }
      n1=$(nginx_cpu)
      read -r wall cpu < "$work/t"
      timed "$work/m" bash "$work/md5par.sh" "$dest" "${md5_lists[@]}" || { echo "md5sum -c failed" >&2; exit 1; }
      read -r mwall mcpu < "$work/m"
      vd[c.wall]+="$wall "; vd[c.cpu]+="$(calc "$cpu + $n1 - $n0") "
      vd[v.wall]+="$(calc "$wall + $mwall") "; vd[m.cpu]+="$mcpu "
    fi
    rm -rf "$dest"
  done
done
lowest() { echo "$1" | tr ' ' '\n' | grep . | sort -g | head -1; }
q_wall=$(lowest "${vd[q.wall]}"); q_cpu=$(lowest "${vd[q.cpu]}")
c_wall=$(lowest "${vd[c.wall]}"); c_cpu=$(lowest "${vd[c.cpu]}")
v_wall=$(lowest "${vd[v.wall]}"); m_cpu=$(lowest "${vd[m.cpu]}")
limit_wall=$(calc "($c_cpu + $m_cpu) / $cores")

# --- Resume: every file of the large set half there -------------------------
halves=$work/halves
mkdir -p "$halves/quellan" "$halves/curl"
rest_bytes=0
while read -r f; do
  size=$(stat -c %s "$content/large/$f"); half=$((size / 2)); rest_bytes=$((rest_bytes + size - half))
  mkdir -p "$(dirname "$halves/curl/$f")" "$(dirname "$halves/quellan/$f")"
  head -c "$half" "$content/large/$f" > "$halves/curl/$f"
  cp "$halves/curl/$f" "$halves/quellan/$f.quellan-part"
  etag=$(curl -sI "$files/large/$f" | tr -d '\r' | awk 'tolower($1) == "etag:" { print $2 }')
  lm=$(curl -sI "$files/large/$f" | tr -d '\r' | sed -n 's/^[Ll]ast-[Mm]odified: //p')
  printf 'quellan-resume 1\naddress %s\nmd5 %s\netag %s\nlast-modified %s\nlength %s\n' \
    "$files/large/$f" "$(grep " $f\$" "$work/large.md5" | cut -d' ' -f1)" "$etag" "$lm" "$size" \
    > "$(dirname "$halves/quellan/$f")/.$(basename "$f").quellan-part.resume"
done < "$work/large.files"
declare -A rs
for ((r = 0; r < rounds; r++)); do
  for tool in quellan curl; do
    [ $((r % 2)) = 1 ] && tool=$([ $tool = quellan ] && echo curl || echo quellan)
    dest=$work/resume/$tool-$r
    mkdir -p "$(dirname "$dest")"
    cp -a "$halves/$tool" "$dest"
    if [ $tool = quellan ]; then
      timed "$work/t" "$cli" install --edition birch --path "$dest/" --no-shortcut --stats ||
        { cat "$work/t.err" >&2; exit 1; }
      read -r wall cpu < "$work/t"
      rs[q.wall]+="$wall "
      rs[q.fetched]=$(sed -n 's/.*fetched-bytes \([0-9]*\).*/\1/p' "$work/t.err" | tail -1)
      rs[q.resumed]=$(sed -n 's/.*resumed-bytes \([0-9]*\).*/\1/p' "$work/t.err" | tail -1)
    else
      timed "$work/t" bash -c 'curl_p4 "$@"' _ "$dest" "$work/large.pairs" -C - || { echo "curl -C - failed" >&2; exit 1; }
      read -r wall cpu < "$work/t"
      timed "$work/m" bash "$work/md5par.sh" "$dest" "${md5_lists[@]}" || { echo "md5sum -c failed" >&2; exit 1; }
      read -r mwall mcpu < "$work/m"
      rs[c.wall]+="$wall "; rs[v.wall]+="$(calc "$wall + $mwall") "
    fi
    rm -rf "$dest"
  done
done

# --- One copy fewer: the large set received into mapped pages ---------------
sed "s|^|$files/large/|" "$work/large.files" | xargs "$receive" --out "$work/receive" --rounds "$rounds" \
  > "$work/receive.txt" || { echo "quellan-bench-receive failed" >&2; exit 1; }

rate() { awk "BEGIN { printf \"%.1f\", $1 / $2 / 1000000 }"; }
fps() { awk "BEGIN { printf \"%d\", $1 / $2 }"; }
printf '\nDownload, best of %d rounds (nginx on 127.0.0.1)\n' "$rounds"
printf '%-10s %-8s %10s %10s %10s\n' tool set seconds MB/s files/s
declare -A speed
for set in large small; do
  bytes=$large_bytes; count=$large_count
  [ "$set" = small ] && { bytes=$small_bytes; count=$small_count; }
  for tool in "${tools[@]}"; do
    t=$(echo "${times[$tool.$set]}" | tr ' ' '\n' | grep . | best)
    speed[$tool.$set]=$(calc "$bytes / $t")
    printf '%-10s %-8s %10.3f %10s %10s\n' "$tool" "$set" "$t" "$(rate "$bytes" "$t")" "$(fps "$count" "$t")"
  done
done
printf '  large: %d files, %d MB; small: %d files, %d MB\n' "$large_count" $((large_bytes / 1000000)) \
  "$small_count" $((small_bytes / 1000000))

printf '\nVerification of the large set, every file correct, best of %d\n' "$rounds"
declare -A vspeed
for tool in quellan md5sum xargs-P4; do
  t=$(echo "${vtimes[$tool]}" | tr ' ' '\n' | grep . | best)
  vspeed[$tool]=$(calc "$large_bytes / $t")
  printf '%-10s %10.3f s %10s MB/s\n' "$tool" "$t" "$(rate "$large_bytes" "$t")"
done

printf '\nEvent load during the large download (quellan-cli main thread = event owner)\n'
sed 's/^/  /' "$work/stats"

ratio() { awk "BEGIN { printf \"%.2f\", $1 / $2 }"; }

printf '\nVerified download of the large set against the limit (%d cores), best of %d\n' "$cores" "$rounds"
printf '%-34s %10s %10s %12s\n' "" seconds MB/s cpu-seconds
printf '%-34s %10.3f %10s %12.3f\n' "quellan (hashes as it receives)" "$q_wall" "$(rate "$large_bytes" "$q_wall")" "$q_cpu"
printf '%-34s %10.3f %10s %12.3f\n' "unverified peer (curl x4)" "$c_wall" "$(rate "$large_bytes" "$c_wall")" "$c_cpu"
printf '%-34s %10.3f %10s %12.3f\n' "verified peer (curl x4, md5sum -c)" "$v_wall" "$(rate "$large_bytes" "$v_wall")" \
  "$(calc "$c_cpu + $m_cpu")"
printf '%-34s %10.3f %10s\n' "limit ((curl + md5) cpu / cores)" "$limit_wall" "$(rate "$large_bytes" "$limit_wall")"
printf '  cpu-seconds include nginx; md5sum alone: %.3f s\n' "$m_cpu"

rq=$(lowest "${rs[q.wall]}"); rc=$(lowest "${rs[c.wall]}"); rv=$(lowest "${rs[v.wall]}")
printf '\nResume of the large set, every file half there, best of %d\n' "$rounds"
printf '%-34s %10s %12s\n' "" seconds MB-fetched
printf '%-34s %10.3f %12s\n' "quellan (continues the parts)" "$rq" "$((rs[q.fetched] / 1000000))"
printf '%-34s %10.3f %12s\n' "curl -C - x4 (unverified)" "$rc" "$((rest_bytes / 1000000))"
printf '%-34s %10.3f %12s\n' "curl -C - x4, then md5sum -c" "$rv" "$((rest_bytes / 1000000))"
printf '  quellan resumed %d MB of %d MB\n' "$((rs[q.resumed] / 1000000))" "$((large_bytes / 1000000))"
maxof() { awk "BEGIN { print ($1 > $2) ? $1 : $2 }"; }
peer_large=$(maxof "${speed[aria2c.large]}" "${speed[curl.large]}")
peer_small=$(maxof "${speed[aria2c.small]}" "${speed[curl.small]}")
peer_verify=$(maxof "${vspeed[md5sum]}" "${vspeed[xargs-P4]}")
echo
sed 's/^ratios: /copy ratios: /' "$work/receive.txt"
echo
echo "ratios: download-large $(ratio "${speed[quellan.large]}" "$peer_large"), download-small $(ratio "${speed[quellan.small]}" "$peer_small"), verify $(ratio "${vspeed[quellan]}" "$peer_verify"), verified-download $(ratio "$v_wall" "$q_wall") (of the verified peer), $(ratio "$c_wall" "$q_wall") (of the unverified), $(ratio "$limit_wall" "$q_wall") (of the limit), resume $(ratio "$rv" "$rq") (of curl -C - verified), $(ratio "$rc" "$rq") (unverified)"
