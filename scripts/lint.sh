#!/usr/bin/env bash
# Checks the tree before the tests run: formatting, headers that compile on
# their own, and the include rules between folders. Prints every violation as
# FILE:LINE: MESSAGE and exits 1 when there is any.
#
#   lint.sh               check the sources git knows (tracked, or new and not ignored)
#   lint.sh --self-test   plant one violation of each rule in a scratch tree and
#                         fail unless every one is reported (and nothing else)
#   lint.sh --tidy [FILE...]  clang-tidy alone over the files (default: what a
#                         lint run checks), with a count of findings per file
#
# clang-tidy (.clang-tidy) reads the product sources changed since the merge
# base with main, or all of them when CI=true.
#
# Header checks take their compiler flags from the compile commands of a
# configured build tree (QUELLAN_LINT_BUILD, default build/; configured here
# when missing) and remember headers that passed until they or anything they
# include change.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=${QUELLAN_LINT_BUILD:-build}
case $build in /*) ;; *) build=$repo/$build ;; esac
jobs=$(nproc)

clang_format=""
for c in clang-format-14 clang-format; do
  if command -v "$c" >/dev/null && "$c" --version | grep -q 'version 14\.'; then
    clang_format=$c
    break
  fi
done

# --- Sources --------------------------------------------------------------

# Source files under $1, one per line, relative to it.
sources() {
  if [ -e "$1/.git" ]; then
    git -C "$1" ls-files --cached --others --exclude-standard -- '*.h' '*.cpp' |
      while IFS= read -r f; do [ -f "$1/$f" ] && printf '%s\n' "$f"; done
  else
    (cd "$1" && find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | sort)
  fi
}

# --- Formatting -------------------------------------------------------------

# check_format ROOT FILE...: files that clang-format would change.
check_format() {
  local root=$1
  shift
  if [ -z "$clang_format" ]; then
    echo ".clang-format:1: clang-format 14 is not installed (apt-get install clang-format)"
    return
  fi
  (cd "$root" && printf '%s\0' "$@" |
    xargs -0 -r -P "$jobs" -n 16 "$clang_format" --style=file --dry-run -Werror 2>&1 |
    sed -nE 's/^(.*):([0-9]+):[0-9]+: error: code should be clang-formatted.*/\1:\2: not formatted (clang-format -i \1)/p' |
    sort -t: -k1,1 -k2,2n -u)
}

# --- Include rules ----------------------------------------------------------

# check_includes ROOT FILE...: includes that cross the layering, internal
# headers used outside their folder, third-party headers outside their place.
check_includes() {
  local root=$1
  shift
  (cd "$root" && awk '
    FNR == 1 { file = FILENAME }
    /^[ \t]*#[ \t]*include[ \t]*[<"]/ {
      line = $0
      sub(/^[ \t]*#[ \t]*include[ \t]*/, "", line)
      quoted = substr(line, 1, 1) == "\""
      path = substr(line, 2)
      sub(/[>"].*$/, "", path)
      if (quoted) ours(file, FNR, path); else foreign(file, FNR, path)
    }
    function top(p) { return substr(p, 1, index(p, "/") - 1) }
    function under(p, folder) { return substr(p, 1, length(folder) + 1) == folder "/" }
    function report(f, n, msg) { printf "%s:%d: %s\n", f, n, msg }
    function isInternal(p) { return p ~ /Internal\.h$/ || p ~ /(^|\/)RegistryHive\.h$/ || under(p, "platform/window/backend") }
    # The folder an internal header belongs to: its own, or for the window
    # backends the window system they plug into.
    function owner(p,   d) {
      if (under(p, "platform/window/backend")) return "platform/window"
      d = p
      sub(/\/[^\/]*$/, "", d)
      return d
    }
    function ours(f, n, p,   from, to, o) {
      from = top(f)
      to = top(p)
      if (from == "platform" && (to == "util" || to == "engine" || to == "ui" || to == "app" || to == "tools"))
        report(f, n, "platform/ must not include " to "/ (" p ")")
      else if (from == "util" && (to == "engine" || to == "ui" || to == "app" || to == "tools"))
        report(f, n, "util/ must not include " to "/ (" p ")")
      else if (from == "engine" && (to == "ui" || to == "app" || to == "tools"))
        report(f, n, "engine/ must not include " to "/ (" p ")")
      else if (from == "ui" && (to == "engine" || to == "app" || to == "tools"))
        report(f, n, "ui/ must not include " to "/ (" p ")")
      else if (from == "ui" && to == "ui") inside_ui(f, n, p)
      if (isInternal(p)) {
        o = owner(p)
        if (!under(f, o) && !under(f, "tests/" o) && !under(f, "fuzz"))
          report(f, n, p " is internal to " o "/ (use its public header)")
      }
    }
    # Inside ui/: base (strings, small containers) below everything, render
    # (drawing over resource tables) below core and the folders above it.
    function inside_ui(f, n, p,   from, to) {
      from = sub2(f)
      to = sub2(p)
      if (from == to) return
      if (from == "base")
        report(f, n, "ui/base/ must not include ui/" to "/ (" p ")")
      else if (from == "render" && to != "base")
        report(f, n, "ui/render/ must not include ui/" to "/ (" p ")")
    }
    # The second folder of a path ("core" of ui/core/X.h).
    function sub2(p,   rest) {
      rest = substr(p, index(p, "/") + 1)
      return substr(rest, 1, index(rest, "/") - 1)
    }
    # SDL, Xlib, cairo/pango and OpenSSL stay in the one place that wraps
    # them and never reach a public header.
    function foreign(f, n, p,   lib, allowed) {
      if (p ~ /^SDL2?[\/_.]/ || p ~ /^SDL[A-Za-z_]*\.h$/) { lib = "SDL"; allowed = under(f, "platform/window/backend/sdl") }
      else if (p ~ /^X11\//) {
        lib = "Xlib"
        allowed = under(f, "platform/window/backend/sdl") || under(f, "tests/platform/window/sdl")
      }
      else if (p ~ /^(cairo|pango)/) { lib = "cairo/pango"; allowed = under(f, "platform/graphics") }
      else if (p ~ /^openssl\//) {
        lib = "OpenSSL"
        allowed = under(f, "platform/signature") || under(f, "util") || under(f, "engine") || under(f, "tools") ||
                  under(f, "tests") || under(f, "bench") || under(f, "fuzz")
      } else return
      if (!allowed) report(f, n, lib " is not used here (" p ")")
      else if (f ~ /\.h$/ && !isInternal(f) && !under(f, "tests")) report(f, n, "public header exposes " lib " (" p ")")
    }
  ' "$@")
}

# --- Headers on their own ---------------------------------------------------

# Tab-separated "file<TAB>directory<TAB>command" of every compile command.
compile_table() {
  awk '
    # The JSON string value of a "key": "value" line, unescaped.
    function value(line,   s, out, i, ch) {
      s = line
      sub(/^[^:]*: *"/, "", s)
      sub(/",?[ \t]*$/, "", s)
      out = ""
      for (i = 1; i <= length(s); ++i) {
        ch = substr(s, i, 1)
        if (ch == "\\") ch = substr(s, ++i, 1)
        out = out ch
      }
      return out
    }
    /^[ \t]*"directory":/ { d = value($0) }
    /^[ \t]*"command":/ { c = value($0) }
    /^[ \t]*"file":/ { print value($0) "\t" d "\t" c }
  ' "$1"
}

# The compile command (directory<TAB>command) of a source near header $2 in
# the build's source tree ($sources): the same folder first, then below it,
# then further up.
command_for() {
  local table=$1 header=$2 dir
  dir=$(dirname "$header")
  while :; do
    local prefix="$sources/$dir/"
    [ "$dir" = . ] && prefix="$sources/"
    local row
    row=$(awk -F'\t' -v p="$prefix" 'index($1, p) == 1 && index(substr($1, length(p) + 1), "/") == 0 { print; exit }' "$table")
    [ -n "$row" ] || row=$(awk -F'\t' -v p="$prefix" 'index($1, p) == 1 { print; exit }' "$table")
    if [ -n "$row" ]; then
      printf '%s\n' "$row" | cut -f2-
      return
    fi
    [ "$dir" = . ] && return
    dir=$(dirname "$dir")
  done
}

# check_one ROOT CACHE TABLE HEADER: compiles `#include "HEADER"` alone (quoted
# includes are looked up in ROOT before anywhere else).
check_one() {
  local root=$1 cache=$2 table=$3 header=$4
  local row directory command
  row=$(command_for "$table" "$header")
  if [ -z "$row" ]; then
    echo "$header:1: no compile command to check it with (configure $build first)"
    return
  fi
  directory=${row%%$'\t'*}
  command=${row#*$'\t'}
  # Same flags, no object: drop output, input, optimisation and debug info.
  command=$(sed -E 's/ -o [^ ]+//; s/ -c [^ ]+//; s/ -O[^ ]*//g; s/ -g[^ ]*//g' <<<"$command")
  local stamp="$cache/$header.ok" deps="$cache/$header.d"
  local key
  key=$(printf '%s|%s' "$root" "$command" | cksum | cut -d' ' -f1)
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$key" ] && [ -f "$deps" ]; then
    local fresh=1 dep
    for dep in $(sed -e 's/^[^:]*://' -e 's/\\$//' "$deps"); do
      if [ ! -e "$dep" ] || [ "$dep" -nt "$stamp" ]; then
        fresh=0
        break
      fi
    done
    [ "$fresh" -eq 1 ] && return
  fi
  mkdir -p "$(dirname "$stamp")"
  rm -f "$stamp"
  local out
  if out=$(cd "$directory" && printf '#include "%s"\n' "$header" |
    eval "$command -iquote '$root' -fsyntax-only -MMD -MT stamp -MF '$deps' -x c++ -" 2>&1); then
    printf '%s' "$key" >"$stamp"
  else
    # Errors name the header's own lines (or what it includes); keep those.
    local errors
    errors=$(sed -nE "s#^($root/|$sources/)?([^ :]+):([0-9]+):[0-9]+: (fatal )?error: (.*)\$#\\2:\\3: does not compile on its own: \\5#p" <<<"$out")
    [ -n "$errors" ] || errors="$header:1: does not compile on its own"
    printf '%s\n' "$errors" | sed "s|^<stdin>:1:|$header:1:|"
  fi
}

# check_headers ROOT HEADER...
check_headers() {
  local root=$1
  shift
  [ $# -gt 0 ] || return 0
  if [ ! -f "$build/compile_commands.json" ]; then
    local gen=()
    command -v ninja >/dev/null && gen=(-G Ninja)
    cmake -S . -B "$build" "${gen[@]}" >/dev/null
  fi
  local cache="$build/lint-headers"
  [ "$root" = "$repo" ] || cache="$root/.lint-cache"
  mkdir -p "$cache"
  local table="$cache/compile-table.tsv"
  compile_table "$build/compile_commands.json" >"$table"
  # The tree the build was configured from (this one, or another checkout).
  sources=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
  [ -n "$sources" ] || sources=$repo
  export -f check_one command_for
  export repo build sources
  printf '%s\0' "$@" | xargs -0 -r -P "$jobs" -I{} bash -c 'check_one "$@"' _ "$root" "$cache" "$table" {}
}

# --- clang-tidy -------------------------------------------------------------

clang_tidy=""
for c in clang-tidy-14 clang-tidy; do
  if command -v "$c" >/dev/null; then
    clang_tidy=$c
    break
  fi
done

# The product sources clang-tidy reads, from the list on stdin. Tests,
# benchmarks and fuzz targets are left out: their framework macros would
# double the time for findings about the macros.
tidy_scope() { grep -E '^(app|engine|ui|platform|util|tools)/.*\.cpp$' || true; }

# Sources changed since the merge base with main (committed, staged,
# unstaged or new); a changed header stands for the .cpp of its name.
changed_sources() {
  local base
  base=$(git merge-base HEAD main 2>/dev/null) || return 0
  { git diff --name-only "$base" -- && git ls-files --others --exclude-standard; } |
    while IFS= read -r f; do
      case $f in
      *.h) [ -f "${f%.h}.cpp" ] && printf '%s\n' "${f%.h}.cpp" ;;
      *.cpp) [ -f "$f" ] && printf '%s\n' "$f" ;;
      esac
    done | sort -u
}

# tidy_one FILE (in the root): its findings as FILE:LINE: MESSAGE [check],
# headers included. Flags come from the build's compile commands, or (for a
# tree without them) plain C++20 with the root on the include path.
tidy_one() {
  local out
  if [ -n "$tidy_db" ]; then
    out=$("$clang_tidy" -p "$tidy_db" --quiet "$1" 2>/dev/null) || true
  else
    # Such a tree (the self-test's) lacks most headers: missing ones are not findings.
    out=$("$clang_tidy" --quiet "$1" -- -std=c++20 -I. 2>/dev/null | grep -v "file not found \[clang-diagnostic-error\]") || true
  fi
  printf '%s\n' "$out" | sed -nE "s|^($tidy_root/)?([^:]+):([0-9]+):[0-9]+: (warning\|error): (.*)$|\2:\3: \5|p"
}

# check_tidy ROOT FILE...: clang-tidy over the files, two at a time per core.
check_tidy() {
  local root=$1
  shift
  [ $# -gt 0 ] || return 0
  if [ -z "$clang_tidy" ]; then
    echo ".clang-tidy:1: clang-tidy is not installed (apt-get install clang-tidy)"
    return
  fi
  tidy_db=""
  if [ "$root" = "$repo" ]; then
    [ -f "$build/compile_commands.json" ] || cmake -S "$repo" -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
    tidy_db=$build
  fi
  tidy_root=$(cd "$root" && pwd)
  export -f tidy_one
  export clang_tidy tidy_db tidy_root
  (cd "$root" && printf '%s\0' "$@" | xargs -0 -r -P "$jobs" -n 1 bash -c 'tidy_one "$1"' _ | sort -t: -k1,1 -k2,2n -u)
}

# The files the lint run gives clang-tidy: every product source when CI=true,
# else those changed since the merge base with main.
tidy_files() {
  if [ "${CI:-}" = true ]; then
    sources "$repo" | tidy_scope
  else
    (cd "$repo" && changed_sources | tidy_scope)
  fi
}

# --- Running ----------------------------------------------------------------

# lint ROOT: every check over the sources of ROOT; prints the violations.
lint() {
  local root=$1
  local files=() headers=()
  mapfile -t files < <(sources "$root")
  mapfile -t headers < <(printf '%s\n' "${files[@]}" | grep '\.h$' || true)
  check_format "$root" "${files[@]}"
  check_includes "$root" "${files[@]}"
  check_headers "$root" "${headers[@]}"
  if [ "$root" = "$repo" ]; then
    local tidy=()
    mapfile -t tidy < <(tidy_files)
    check_tidy "$root" "${tidy[@]}"
  else
    mapfile -t files < <(printf '%s\n' "${files[@]}" | tidy_scope)
    check_tidy "$root" "${files[@]}"
  fi
}

self_test() {
  local t
  t=$(mktemp -d)
  trap 'rm -rf "$t"' RETURN
  cp .clang-format .clang-tidy "$t/"
  mkdir -p "$t/engine" "$t/ui/base" "$t/ui/core" "$t/ui/render" "$t/platform/graphics" "$t/tests/platform/graphics"
  # One violation of each rule, and files that break none.
  printf '// Slip.\nint  slip( ) {return 1;}\n' >"$t/platform/graphics/Slip.cpp"
  printf '// Upward.\n#include "ui/base/StringUI.h"\n' >"$t/engine/Upward.cpp"
  printf '// Back up.\n#include "ui/core/FormManagerUI.h"\n' >"$t/ui/render/BackUp.cpp"
  printf '// Base up.\n#include "ui/render/Colour.h"\n' >"$t/ui/base/BaseUp.cpp"
  printf '// Down.\n#include "ui/base/StringUI.h"\n' >"$t/ui/render/Down.cpp"
  printf '// Up from util.\n#include "engine/Manifest.h"\n' >"$t/platform/graphics/Up.cpp"
  printf '// Alone.\n#pragma once\n\ninline std::string alone() { return {}; }\n' >"$t/ui/core/Alone.h"
  printf '// Peek.\n#include "platform/graphics/GraphicsInternal.h"\n' >"$t/ui/render/Peek.cpp"
  printf '// Leak.\n#include <cairo.h>\n' >"$t/ui/render/Leak.cpp"
  printf '// Exposed.\n#pragma once\n#include <cairo.h>\n' >"$t/platform/graphics/Exposed.h"
  printf '// Fine.\n#pragma once\n\n#include <string>\n\ninline std::string fine() { return {}; }\n' >"$t/ui/core/Fine.h"
  printf '// Allowed.\n#include "platform/graphics/GraphicsInternal.h"\n' >"$t/tests/platform/graphics/Allowed.cpp"
  printf '// Tidy.\n#include <string>\n\nbool tidy(const std::string& s) { return s.size() == 0; }\n' >"$t/ui/core/Tidy.cpp"
  local got expected
  got=$(lint "$t" | sed -E 's/: does not compile on its own: .*/: does not compile on its own/')
  expected=$(
    cat <<'EOF'
platform/graphics/Slip.cpp:2: not formatted (clang-format -i platform/graphics/Slip.cpp)
engine/Upward.cpp:2: engine/ must not include ui/ (ui/base/StringUI.h)
ui/render/BackUp.cpp:2: ui/render/ must not include ui/core/ (ui/core/FormManagerUI.h)
ui/base/BaseUp.cpp:2: ui/base/ must not include ui/render/ (ui/render/Colour.h)
platform/graphics/Exposed.h:3: public header exposes cairo/pango (cairo.h)
platform/graphics/Up.cpp:2: platform/ must not include engine/ (engine/Manifest.h)
ui/render/Leak.cpp:2: cairo/pango is not used here (cairo.h)
ui/render/Peek.cpp:2: platform/graphics/GraphicsInternal.h is internal to platform/graphics/ (use its public header)
ui/core/Alone.h:4: does not compile on its own
ui/core/Tidy.cpp:4: the 'empty' method should be used to check for emptiness instead of 'size' [readability-container-size-empty]
EOF
  )
  if [ "$(sort <<<"$got")" != "$(sort <<<"$expected")" ]; then
    echo "lint self-test: expected" >&2
    printf '%s\n' "$expected" >&2
    echo "lint self-test: got" >&2
    printf '%s\n' "$got" >&2
    return 1
  fi
  echo "lint self-test: every planted violation reported"
}

# tidy_report FILE...: clang-tidy alone over the files (none given: what a
# lint run would check), every finding, then a count per file.
tidy_report() {
  local files=("$@") report
  [ ${#files[@]} -gt 0 ] || mapfile -t files < <(tidy_files)
  report=$(check_tidy "$repo" "${files[@]}")
  if [ -z "$report" ]; then
    echo "lint: clang-tidy clean over ${#files[@]} file(s)" >&2
    return 0
  fi
  printf '%s\n' "$report"
  printf '%s\n' "$report" | cut -d: -f1 | sort | uniq -c | sort -rn | awk '{ printf "lint: %d finding(s) in %s\n", $1, $2 }' >&2
  return 1
}

case "${1:-}" in
--self-test)
  self_test
  exit $?
  ;;
--tidy)
  shift
  tidy_report "$@"
  exit $?
  ;;
"") ;;
*)
  echo "usage: $0 [--self-test | --tidy [FILE...]]" >&2
  exit 2
  ;;
esac

start=$SECONDS
report=$(lint "$repo" | awk '!seen[$0]++')
if [ -n "$report" ]; then
  printf '%s\n' "$report"
  echo "lint: $(wc -l <<<"$report") violation(s) in $((SECONDS - start)) s" >&2
  exit 1
fi
echo "lint: clean in $((SECONDS - start)) s"
