#!/usr/bin/env bash
# Makes a Wine prefix that satisfies the installer's pre-flight checks: the
# Harrow accelerator's uninstall entry, a harrowjiasu.exe signed with a test
# certificate of the maker's name and serial, running, and the login value
# for the prefix's MachineGuid.
#
#   make-demo-prefix.sh DIR         make the prefix in DIR (must not exist) and
#                                   start the accelerator; prints the line to
#                                   eval: export WINEPREFIX=DIR
#   make-demo-prefix.sh --stop DIR  end the accelerator (and Wine) of DIR
#
# With wine64 and MinGW installed (scripts/packages.txt) the prefix is a real
# one made by wineboot, the program is built with MinGW and runs under the
# Wine loader. Without Wine the prefix is prepared by hand (hive files and
# drive mapping as Wine writes them) and a stand-in runs in its place: a copy
# of sleep named wine64, whose command line is the program's Windows path,
# which is how the process list sees a program under the Wine loader.
# QUELLAN_DEMO_NO_WINE=1 makes the prepared prefix even where Wine exists.
set -euo pipefail

loader=$(command -v /usr/lib/wine/wine64 wine64 2>/dev/null | head -n 1 || true)
server=$(command -v /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver wineserver 2>/dev/null | head -n 1 || true)
compiler=$(command -v x86_64-w64-mingw32-gcc 2>/dev/null || true)

exe_windows='C:\Program Files\Harrow\harrowjiasu.exe'
exe_relative='drive_c/Program Files/Harrow/harrowjiasu.exe'
uninstall_key='SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Harrow加速器'
login_key='Software\harrowjiasuqi\appinfo'

wine_env() {
  env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$@"
}

if [ "${1:-}" = --stop ]; then
  prefix=$(cd "${2:?usage: make-demo-prefix.sh --stop DIR}" && pwd)
  if [ -f "$prefix/accelerator.pid" ]; then
    kill "$(cat "$prefix/accelerator.pid")" 2>/dev/null || true
    rm -f "$prefix/accelerator.pid"
  fi
  [ -n "$server" ] && [ -f "$prefix/system.reg" ] && wine_env "$server" -k 2>/dev/null || true
  exit 0
fi

target=${1:?usage: make-demo-prefix.sh DIR | --stop DIR}
[ -e "$target" ] && { echo "make-demo-prefix: $target exists" >&2; exit 1; }
mkdir -p "$target"
prefix=$(cd "$target" && pwd)
work=$prefix/.demo
mkdir -p "$work"

# The login value's name: the first 16 hex digits of the MD5 of MachineGuid,
# AES-128-ECB with the program's text key ("201711230417" and four zero
# bytes), base64.
login_value_name() {
  printf %s "$1" | md5sum | cut -c1-16 | tr -d '\n' |
    openssl enc -aes-128-ecb -K 32303137313132333034313700000000 | base64 -w0
}

# A certificate with the maker's name and first serial signs the program.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 3650 -utf8 \
  -keyout "$work/maker.key" -out "$work/maker.pem" -subj '/O=Orsveld/CN=Orsveld网络科技有限公司' \
  -set_serial 0x7a31c9e04b82d6f15e0a93c47d28b6e1 2>/dev/null

# The program: runs until it is ended.
make_program() {
  if [ -n "$compiler" ]; then
    printf '#include <windows.h>\nint main(void) { Sleep(INFINITE); return 0; }\n' >"$work/harrow.c"
    "$compiler" -O1 -s -o "$work/unsigned.exe" "$work/harrow.c"
  else
    # A minimal well-formed PE32 image (headers and one section), enough for
    # signing and for the signer check; it only has to exist for the stand-in.
    perl -e '
      my $b = "\0" x 0x400;
      sub put { my ($at, $fmt, @v) = @_; my $p = pack($fmt, @v); substr($b, $at, length $p) = $p; }
      put(0, "a2", "MZ"); put(0x3C, "V", 0x80); put(0x80, "a4", "PE\0\0");
      put(0x84, "vvVVVvv", 0x14C, 1, 0, 0, 0, 0xE0, 0x0102);
      put(0x98, "vCCVVVVVVVVV", 0x10B, 14, 0, 0x200, 0, 0, 0x1000, 0x1000, 0x2000, 0x400000, 0x1000, 0x200);
      put(0x98 + 40, "vvvvvvVVVVvvVVVVVV", 6, 0, 0, 0, 6, 0, 0, 0x2000, 0x200, 0, 2, 0x8140,
          0x100000, 0x1000, 0x100000, 0x1000, 0, 16);
      put(0x178, "a8VVVVVVvvV", ".text", 0x200, 0x1000, 0x200, 0x200, 0, 0, 0, 0, 0x60000020);
      substr($b, 0x200, 1) = "\xC3";
      print $b;' >"$work/unsigned.exe"
  fi
  mkdir -p "$(dirname "$prefix/$exe_relative")"
  osslsigncode sign -certs "$work/maker.pem" -key "$work/maker.key" -in "$work/unsigned.exe" \
    -out "$prefix/$exe_relative" >/dev/null
}

if [ -n "$loader" ] && [ -n "$server" ] && [ -z "${QUELLAN_DEMO_NO_WINE:-}" ]; then
  echo "make-demo-prefix: wineboot --init in $prefix" >&2
  wine_env "$loader" wineboot --init >"$work/wine.log" 2>&1
  wine_env "$server" -w
  make_program
  guid=$(sed -n '/^\[Software\\\\Microsoft\\\\Cryptography\]/,/^$/s/^"MachineGuid"="\(.*\)"$/\1/p' "$prefix/system.reg")
  [ -n "$guid" ] || { echo "make-demo-prefix: no MachineGuid in the new prefix" >&2; exit 1; }
  name=$(login_value_name "$guid")
  wine_env "$loader" reg add "HKLM\\$uninstall_key" /v UninstallString /t REG_SZ \
    /d 'C:\Program Files\Harrow\uninst.exe' /f >>"$work/wine.log" 2>&1
  wine_env "$loader" reg add "HKCU\\$login_key" /v "$name" /t REG_SZ /d demo-login /f >>"$work/wine.log" 2>&1
  # The hive files hold the values once the prefix's server has stopped.
  wine_env "$server" -w
  (cd "$prefix/drive_c" && exec setsid env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$prefix" WINEDEBUG=-all \
    "$loader" "$exe_windows" </dev/null >>"$work/wine.log" 2>&1) &
  echo $! >"$prefix/accelerator.pid"
else
  echo "make-demo-prefix: no Wine; a prepared prefix with a stand-in process in $prefix" >&2
  make_program
  mkdir -p "$prefix/dosdevices"
  ln -s ../drive_c "$prefix/dosdevices/c:"
  guid=$(cat /proc/sys/kernel/random/uuid)
  name=$(login_value_name "$guid")
  stamp=$(date +%s)
  # Hive files as Wine writes them: key names with \x escapes beyond ASCII.
  cat >"$prefix/system.reg" <<EOF
WINE REGISTRY Version 2
;; All keys relative to \\\\Machine

#arch=win64

[Software\\\\Microsoft\\\\Cryptography] $stamp
"MachineGuid"="$guid"

[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Harrow\\x52a0\\x901f\\x5668] $stamp
"UninstallString"="C:\\\\Program Files\\\\Harrow\\\\uninst.exe"
EOF
  cat >"$prefix/user.reg" <<EOF
WINE REGISTRY Version 2
;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000

#arch=win64

[Software\\\\harrowjiasuqi\\\\appinfo] $stamp
"$name"="demo-login"
EOF
  mkdir -p "$prefix/stand-in"
  cp "$(command -v sleep)" "$prefix/stand-in/wine64"
  (
    export WINEPREFIX="$prefix"
    exec setsid bash -c 'exec -a "$0" "$1" infinity' "$exe_windows" "$prefix/stand-in/wine64" </dev/null >/dev/null 2>&1
  ) &
  echo $! >"$prefix/accelerator.pid"
fi
echo "export WINEPREFIX=$prefix"
