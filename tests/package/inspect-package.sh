#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks what an installation would get: the
# files, the dependencies found on the binaries, runnable maintainer scripts, a unit file that
# systemd accepts without a single complaint, and the packaged program accepting the packaged
# example configuration.
# Usage: inspect-package.sh BUILD_DIR   (a configured tree in which dialvane is built)
# Exits 77 (skipped) where the packaging tools are missing.
set -euo pipefail
build=$(cd "${1:?usage: inspect-package.sh BUILD_DIR}" && pwd)

for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (scripts/setup installs it)"
    exit 77
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/dialvane-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/out/dialvane_*.deb 2>/dev/null) || true
desktop=$(ls "$work"/out/dialvane-desktop_*.deb 2>/dev/null) || true
[ -f "$deb" ] && [ -f "$desktop" ] ||
  fail "expected dialvane_<version>_<arch>.deb and dialvane-desktop_<version>_<arch>.deb, got: $(ls "$work/out")"
echo "packages: $(basename "$deb") $(basename "$desktop")"

# Each file in the package that needs it, and the window's files only in dialvane-desktop.
has() { # has DEB PATH...
  local contents; contents=$(dpkg-deb -c "$1" | awk '{print $NF}'); shift
  for path in "$@"; do grep -qxF "$path" <<<"$contents" || return 1; done
}
for path in ./usr/bin/dialvane ./usr/bin/dialvane-site ./usr/lib/systemd/system/dialvane@.service \
            ./usr/share/dialvane/Dialvane.ini ./usr/share/man/man8/dialvane.8.gz \
            ./usr/share/man/man1/dialvane-site.1.gz ./usr/share/man/man5/Dialvane.ini.5.gz \
            ./usr/share/doc/dialvane/copyright ./usr/share/doc/dialvane/changelog.gz; do
  has "$deb" "$path" || fail "$path is not in dialvane"
done
for path in ./usr/bin/dialvane-window ./usr/share/applications/dialvane.desktop \
            ./usr/share/pixmaps/dialvane.xpm ./usr/share/man/man1/dialvane-window.1.gz \
            ./usr/share/doc/dialvane-desktop/copyright; do
  has "$desktop" "$path" || fail "$path is not in dialvane-desktop"
done
has "$deb" ./usr/bin/dialvane-window && fail "dialvane holds the window program"

# The Qt libraries are found by dpkg-shlibdeps on each package's programs: a server that
# installs dialvane gets no GUI library, the window gets its own and the station's package.
depends=$(dpkg-deb -f "$deb" Depends)
desktop_depends=$(dpkg-deb -f "$desktop" Depends)
echo "dialvane Depends: $depends"
echo "dialvane-desktop Depends: $desktop_depends"
needs() { grep -qE "(^|, )$2( |,|$)" <<<"$1"; }
for dependency in adduser libqt6core6 libqt6serialport6 libqt6network6; do
  needs "$depends" "$dependency" || fail "dialvane's Depends lacks $dependency"
done
for dependency in libqt6gui6 libqt6widgets6 libqt6dbus6 libgl1 libx11-6; do
  needs "$depends" "$dependency" && fail "dialvane depends on $dependency, a GUI library"
done
needs "$desktop_depends" libqt6widgets6 || fail "dialvane-desktop's Depends lacks libqt6widgets6"
version=$(dpkg-deb -f "$deb" Version)
needs "$desktop_depends" "dialvane \\(= $version\\)" ||
  fail "dialvane-desktop does not depend on dialvane (= $version)"

# Type=notify waits for the station's READY=1, which it sends through libsystemd: a program
# built without it would be killed by systemd's start time-out on every start.
root=$work/root
dpkg-deb -x "$deb" "$root"
dpkg-deb -x "$desktop" "$root"
unit=$root/usr/lib/systemd/system/dialvane@.service
if grep -qx 'Type=notify' "$unit"; then
  grep -qE "(^|, )libsystemd0( |,|$)" <<<"$depends" ||
    fail "the unit waits for readiness, but dialvane is not linked with libsystemd (libsystemd-dev missing at build time?)"
fi

# dpkg refuses maintainer scripts it cannot execute; a syntax error would break every install.
dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
  [ -x "$work/control/$script" ] || fail "$script is missing or not executable"
  sh -n "$work/control/$script" || fail "$script does not parse"
done

# systemd-analyze verify only warns about unknown keys and bad values, with exit code 0: any
# word it says counts as a failure. It also checks that the commands exist, so the unit is
# verified as an instance whose programs are the extracted ones, and that the manual pages of
# Documentation= exist: the extracted ones.
if command -v systemd-analyze >/dev/null; then
  mkdir "$work/units"
  sed "s#^\(Exec[A-Za-z]*=\)/usr/bin/#\1$root/usr/bin/#" \
    "$unit" >"$work/units/dialvane@.service"
  verdict=$(MANPATH=$root/usr/share/man systemd-analyze verify "$work/units/dialvane@line1.service" 2>&1) ||
    { echo "$verdict"; fail "systemd-analyze verify rejects the unit"; }
  [ -z "$verdict" ] || { echo "$verdict"; fail "systemd-analyze verify complains about the unit"; }
  echo "unit: verified"
else
  echo "unit: not verified (no systemd-analyze)"
fi

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/dialvane.desktop" ||
    fail "desktop entry rejected"
  echo "desktop entry: validated"
fi

# The packaged program on the packaged example, pointed at folders and a line of this test.
# The user's own settings area stays out of it, and so does any display.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
mkdir -p "$HOME"
station=$root/usr/bin/dialvane
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' \
    2>/dev/null || echo $((20000 + RANDOM % 20000))
}
line=$work/line1
mkdir -p "$line" "$work/Backroom" "$work/Logs"
sed -e "s#^BackroomPath=.*#BackroomPath=$work/Backroom/#" \
    -e "s#^LogPath=.*#LogPath=$work/Logs/#" \
    -e "s#^COM1=.*#COM1=tcp:127.0.0.1:$(free_port)#" \
    "$root/usr/share/dialvane/Dialvane.ini" >"$line/Dialvane.ini"
grep -q "^COM1=tcp:127.0.0.1:" "$line/Dialvane.ini" || fail "the example names no COM1 to point at a test line"
"$station" --check --config-dir "$line" >"$work/check.log" 2>&1 ||
  { cat "$work/check.log"; fail "--check rejects the example configuration"; }
echo "example: accepted by --check"

# The same file with a value that cannot be read: a check that the operator runs before
# enabling a line must not pass it.
sed -i 's/^DaysToKeep=.*/DaysToKeep=sixty/' "$line/Dialvane.ini"
if "$station" --check --config-dir "$line" >"$work/check.log" 2>&1; then
  cat "$work/check.log"
  fail "--check accepts DaysToKeep=sixty"
fi
echo "bad value: refused by --check"

# The installed program never takes its own folder, /usr/bin, for a station's: without a line
# configured under /etc/dialvane a report asks for one.
if [ ! -e /etc/dialvane ]; then
  status=0
  "$station" overdue >"$work/overdue.log" 2>&1 || status=$?
  [ "$status" -eq 2 ] && grep -q "no line is set up under /etc/dialvane" "$work/overdue.log" ||
    { cat "$work/overdue.log"; fail "the installed overdue without --line: status $status"; }
  echo "installed default: asks for a line"
fi

# Lintian's errors and warnings fail the packages. Informational tags are printed, not failed;
# those the packages have are known and left:
#   binary-has-unneeded-section .comment  CPack strips with plain `strip`, which keeps the
#                                         compiler's one-line ident; it costs a few bytes.
#   hardening-no-fortify-functions        for dialvane: built with _FORTIFY_SOURCE=2 like the
#                                         others (CMakeLists.txt), but none of its libc calls
#                                         needed a checked variant the tool recognises.
lintian --display-info --fail-on error,warning "$deb" "$desktop" 2>&1 | tee "$work/lintian.log" ||
  fail "lintian: $(grep -cE '^[EW]: ' "$work/lintian.log") errors or warnings"
echo "lintian: no error, no warning"
