#!/usr/bin/env bash
# Makes the Debian package from a finished build tree, installs it with dpkg
# into an empty root and checks what arrives there: the file list, the
# computed dependencies, the programs, the menu entry and its icons, the
# manual page against quellan-cli --help, the versions, a clean removal, and
# lintian.
# Usage: deb-test.sh SOURCE_DIR BUILD_DIR VERSION
set -uo pipefail
source_dir=$1
build_dir=$2
version=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/quellan-deb-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

deb=$(bash "$source_dir/scripts/package.sh" --no-build --out "$work/out" "$build_dir") || {
  echo "FAIL: scripts/package.sh could not make the package" >&2
  exit 1
}
echo "package: $(basename "$deb")"

# --- control fields ---
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quellan ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the project's is $version"
# Every library the programs link must be covered by a computed dependency.
depends=$(field Depends | sed -e 's/ *([^)]*)//g' -e 's/ *|[^,]*//g' | tr -d ' ' | tr ',' '\n')
mkdir -p "$work/extract"
dpkg-deb -x "$deb" "$work/extract"
for program in quellan quellan-cli; do
  for soname in $(objdump -p "$work/extract/usr/bin/$program" | awk '$1 == "NEEDED" { print $2 }'); do
    owner=$(dpkg -S "*/x86_64-linux-gnu/$soname" 2>/dev/null |
      awk -v tail="/x86_64-linux-gnu/$soname" 'substr($NF, length($NF) - length(tail) + 1) == tail { sub(/[:,].*/, "", $1); print $1; exit }')
    if [ -z "$owner" ]; then
      fail "$program needs $soname, which no installed package provides"
    elif ! grep -qxF "$owner" <<<"$depends"; then
      fail "$program needs $soname from $owner, which Depends lacks: $(field Depends)"
    fi
  done
done

# --- install into an empty root ---
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg_root() { dpkg --root="$root" --force-not-root --log=/dev/null "$@"; }
# The root holds none of the libraries, so dependencies cannot be met there.
if ! dpkg_root --force-depends -i "$deb" >"$work/dpkg.log" 2>&1; then
  cat "$work/dpkg.log" >&2
  echo "FAIL: dpkg could not install the package" >&2
  exit 1
fi

# --- file list (icons are checked on their own below) ---
dpkg_root -L quellan | while read -r path; do [ -d "$root$path" ] || echo "$path"; done | sort >"$work/files"
grep -v '^/usr/share/icons/' "$work/files" >"$work/files.other"
cat >"$work/files.expected" <<'EOF'
/usr/bin/quellan
/usr/bin/quellan-cli
/usr/share/applications/quellan.desktop
/usr/share/doc/quellan/changelog.gz
/usr/share/doc/quellan/copyright
/usr/share/man/man1/quellan-cli.1.gz
/usr/share/man/man1/quellan.1.gz
EOF
diff -u "$work/files.expected" "$work/files.other" >&2 || fail "the package's files differ from the expected list (above)"
for program in quellan quellan-cli; do
  [ -x "$root/usr/bin/$program" ] || fail "/usr/bin/$program is not executable"
  if readelf -S --wide "$root/usr/bin/$program" | grep -qE '\.symtab|\.debug_'; then fail "/usr/bin/$program is not stripped"; fi
done

# --- icons: every theme size up to the source's, rendered from app/skin/icon.png ---
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'; }
source_icon="$source_dir/app/skin/icon.png"
source_size=$(png_size "$source_icon")
sizes=()
while read -r path; do
  if [[ "$path" =~ ^/usr/share/icons/hicolor/([0-9]+x[0-9]+)/apps/quellan\.png$ ]]; then
    size=${BASH_REMATCH[1]}
    sizes+=("$size")
    [ "$(png_size "$root$path")" = "$size" ] || fail "$path is $(png_size "$root$path")"
  else
    fail "unexpected icon file $path"
  fi
done < <(grep '^/usr/share/icons/' "$work/files")
for need in 16x16 32x32 48x48 "$source_size"; do
  [[ " ${sizes[*]} " == *" $need "* ]] || fail "no $need icon (have: ${sizes[*]})"
done
# At the source's own size the icon is the source, pixel for pixel.
same=$(/usr/bin/compare -metric AE "$source_icon" "$root/usr/share/icons/hicolor/$source_size/apps/quellan.png" null: 2>&1)
[ "$same" = 0 ] || fail "the $source_size icon differs from app/skin/icon.png in $same pixels"

# --- menu entry ---
entry="$root/usr/share/applications/quellan.desktop"
desktop-file-validate "$entry" >&2 || fail "desktop-file-validate rejects quellan.desktop"
entry_value() { sed -n "s/^$1=//p" "$entry"; }
[ -x "$root/usr/bin/$(entry_value Exec)" ] || fail "Exec=$(entry_value Exec) is not a program of the package"
[ "$(entry_value Icon)" = quellan ] || fail "Icon=$(entry_value Icon) is not the packaged icon"

# --- the installed command-line program runs and documents itself ---
help=$("$root/usr/bin/quellan-cli" --help) || fail "quellan-cli --help exits with $?"
[[ "$help" == "Usage: quellan-cli "* ]] || fail "quellan-cli --help prints: $help"

# --- manual pages: render without warnings; quellan-cli's matches --help ---
for page in quellan quellan-cli; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page.1 renders with warnings: $warnings"
done
# The roff source with font changes and escaped hyphens taken out.
page=$(zcat "$root/usr/share/man/man1/quellan-cli.1.gz" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g')
section() { awk -v name="$1" '/^\.SH/ { on = ($0 == ".SH " name) ; next } on'; }
# Options and environment variables: the same in both, in both directions
# (the page adds --help, which the summary is printed by).
compare_sets() { # what, expected (from --help), actual (from the page)
  local missing extra
  missing=$(comm -23 <(sort -u <<<"$2") <(sort -u <<<"$3") | tr '\n' ' ')
  extra=$(comm -13 <(sort -u <<<"$2") <(sort -u <<<"$3") | tr '\n' ' ')
  [ -z "$missing" ] || fail "quellan-cli.1 lacks the $1: $missing"
  [ -z "$extra" ] || fail "quellan-cli.1 has $1 that --help does not know: $extra"
}
compare_sets options "$(grep -oE -- '--[a-z][a-z-]*' <<<"$help"; echo --help)" "$(grep -oE -- '--[a-z][a-z-]*' <<<"$page")"
compare_sets "environment variables" "$(grep -oE 'QUELLAN_[A-Z_]+' <<<"$help")" "$(grep -oE 'QUELLAN_[A-Z_]+' <<<"$page")"
# Exit codes: "Exit codes: 0 done; 1 ...; 2 ..." against the EXIT STATUS list.
help_codes=$(tr '\n' ' ' <<<"$help" | sed -n 's/.*Exit codes: \([^.]*\)\..*/\1/p' | grep -oE '(^|; )[0-9]+ ' | grep -oE '[0-9]+')
page_codes=$(section "EXIT STATUS" <<<"$page" | awk 'prev == ".TP" { print $2 } { prev = $0 }')
[ -n "$help_codes" ] || fail "no exit codes found in quellan-cli --help"
compare_sets "exit codes" "$help_codes" "$page_codes"
# Commands and editions named by --help appear on the page.
help_commands=$(sed -n '/^Commands:/,/^$/p' <<<"$help" | grep -oE '^  [a-z]+' | tr -d ' ')
page_commands=$(section COMMANDS <<<"$page" | awk 'prev == ".TP" { print $2 } { prev = $0 }')
[ -n "$help_commands" ] || fail "no commands found in quellan-cli --help"
missing=$(comm -23 <(sort -u <<<"$help_commands") <(sort -u <<<"$page_commands") | tr '\n' ' ')
[ -z "$missing" ] || fail "quellan-cli.1 does not describe the commands: $missing"
for edition in $(sed -n 's/^Editions: \(.*\)\.$/\1/p' <<<"$help" | tr -d ','); do
  section OPTIONS <<<"$page" | grep -qw "$edition" || fail "quellan-cli.1 does not name the edition $edition"
done

# --- versions written by hand follow the project's ---
changelog_version=$(zcat "$root/usr/share/doc/quellan/changelog.gz" | sed -n '1s/^quellan (\([^)]*\)).*/\1/p')
[ "$changelog_version" = "$version" ] || fail "the changelog's latest entry is '$changelog_version', the project is at $version"
for page in quellan quellan-cli; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | grep -q "^\.TH .* \"Quellan $version\"" ||
    fail "$page.1 does not name Quellan $version in its title line"
done

# --- removal leaves nothing behind ---
dpkg_root -r quellan >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg could not remove the package"; }
left=$(find "$root" -mindepth 1 -not -path "$root/var" -not -path "$root/var/lib" -not -path "$root/var/lib/dpkg*" | head)
[ -z "$left" ] || fail "removal left: $left"

# --- lintian: no errors, no warnings ---
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" >&2 || fail "lintian reports errors or warnings (above)"
else
  fail "lintian is not installed (scripts/packages.txt lists it)"
fi

[ "$failures" -eq 0 ] || exit 1
echo "package checks passed"
