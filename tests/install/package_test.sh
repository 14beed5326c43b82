#!/usr/bin/env bash
# The Debian package: built with CPack from the build folder, its fields and contents checked,
# then unpacked into a temporary folder where the command-line tools run on a fresh HOME.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
build=${1:?build folder}
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in cpack dpkg-deb dpkg-shlibdeps; do
    command -v "$tool" >/dev/null || { echo "package: skipped (no $tool; scripts/deps package)"; exit 77; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >/dev/null
deb=$(echo "$tmp"/pkg/kx7410_*.deb)
[[ -f $deb ]] || fail "no package made"

[[ $(dpkg-deb --field "$deb" Package) == kx7410 ]] || fail "package name"
[[ $(dpkg-deb --field "$deb" Version) == 1.0* ]] || fail "version"
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
# What the programs link (found by dpkg-shlibdeps) and what Qt loads at run time.
for p in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6sql6 libqt6network6 libsodium \
         libxlsxwriter libqcustomplot libqt6sql6-sqlite libqt6sql6-psql qt6-qpa-plugins \
         qt6-translations-l10n mdbtools; do
    [[ $depends == *"$p"* ]] || fail "Depends lacks $p"
done
contents=$(dpkg-deb --contents "$deb")
for f in ./usr/bin/kx7410 ./usr/bin/kx7410-cli ./usr/bin/kx7410-sim ./usr/bin/kx7410-dbtool \
         ./usr/share/kx7410/Config.ini ./usr/share/kx7410/HELP.HLP ./usr/share/kx7410/HELP_en.HLP \
         ./usr/share/kx7410/translations/kx7410_en.qm ./usr/share/kx7410/seed/ \
         ./usr/share/applications/kx7410.desktop \
         ./usr/share/icons/hicolor/scalable/apps/kx7410.svg; do
    grep -q " $f\$" <<<"$contents" || fail "package lacks $f"
done
if grep -q "test_\|_bench" <<<"$contents"; then fail "tests or benchmarks packaged"; fi

root=$tmp/root
dpkg-deb -x "$deb" "$root"
[[ $("$root/usr/bin/kx7410-cli" --version) == "kx7410-cli 1.0" ]] || fail "kx7410-cli --version"
export HOME=$tmp/home XDG_RUNTIME_DIR=$tmp/run
unset XDG_CONFIG_HOME XDG_DATA_HOME
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
# The first use makes the station's files from the packaged defaults; the database tool finds them.
"$root/usr/bin/kx7410-cli" models | grep -q KX7410M31-01 || fail "kx7410-cli models"
"$root/usr/bin/kx7410-dbtool" check || fail "kx7410-dbtool check"
[[ -f $HOME/.local/share/kx7410/Config.db ]] || fail "no Config.db in the XDG data folder"

# Where the machine knows its package lists, apt resolves every declared dependency.
if apt-cache policy libqt6core6 2>/dev/null | grep -q 'Candidate: [0-9]'; then
    apt-get install -s -q "$deb" >"$tmp/apt.log" 2>&1 || { cat "$tmp/apt.log"; fail "apt cannot install the package"; }
fi
echo "package: ok"
