#!/usr/bin/env bash
# The installed program: cmake --install into a temporary prefix, then the installed window
# started offscreen with an empty HOME. Its first start makes the XDG folders from the shipped
# defaults, a second start finds them as they were left, and a Config.ini beside a copy of the
# program (the portable layout) still wins. Two windows run at once on two simulator ports; a
# second start on a port in work brings that window to the front and ends.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=${1:?build folder}
tmp=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/kx7410 bin/kx7410-cli bin/kx7410-sim bin/kx7410-dbtool \
         share/kx7410/Config.ini share/kx7410/HELP.HLP share/kx7410/HELP_en.HLP \
         share/kx7410/seed share/kx7410/outpar.csv share/kx7410/translations/kx7410_en.qm \
         share/kx7410/translations/kxcore_en.qm share/applications/kx7410.desktop \
         share/icons/hicolor/scalable/apps/kx7410.svg; do
    [[ -e $prefix/$f ]] || fail "not installed: $f"
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/kx7410.desktop"
fi

export QT_QPA_PLATFORM=offscreen
unset XDG_CONFIG_HOME XDG_DATA_HOME
fresh_home() { # a HOME and a runtime folder with nothing in them
    export HOME=$tmp/$1 XDG_RUNTIME_DIR=$tmp/$1-run
    mkdir -p "$HOME"
    mkdir -m 700 -p "$XDG_RUNTIME_DIR"
}
lock_of() { # the lock file a window holds for its port
    printf '%s' "$1" | sha1sum | cut -c1-16 | sed "s|^|$XDG_RUNTIME_DIR/kx7410-$(id -u)-|; s|$|.lock|"
}
start_sim() { # a simulated module with its link at $1
    "$prefix/bin/kx7410-sim" --link "$1" >/dev/null &
    pids+=($!)
    for _ in $(seq 600); do [[ -e $1 ]] && return; sleep 0.1; done
    fail "no simulator link $1"
}
start_window() { # $1 program, $2 port; returns when the window answers a second start
    "$1" --port "$2" >/dev/null 2>&1 &
    local pid=$!
    pids+=("$pid")
    local lock
    lock=$(lock_of "$2")
    for _ in $(seq 600); do
        kill -0 "$pid" 2>/dev/null || fail "the window on $2 ended"
        if [[ -e $lock ]]; then
            # The window holds its port: a second start is told to bring it forward.
            if out=$(timeout 60 "$1" --port "$2" 2>&1) && [[ $out == *"brought to the front"* ]]; then
                started=$pid
                return
            fi
        fi
        sleep 0.2
    done
    fail "the window on $2 never answered"
}

fresh_home home
start_sim "$tmp/ttyA"
start_sim "$tmp/ttyB"
config=$HOME/.config/kx7410
data=$HOME/.local/share/kx7410
start_window "$prefix/bin/kx7410" "$tmp/ttyA"
first=$started
[[ -f $config/Config.ini ]] || fail "no $config/Config.ini after the first start"
cmp -s "$config/Config.ini" "$prefix/share/kx7410/Config.ini" || fail "Config.ini is not the shipped one"
[[ -f $data/Config.db ]] || fail "no $data/Config.db after the first start"
[[ ! -e $prefix/bin/Config.ini && ! -e $prefix/bin/Config.db ]] || fail "files written beside the installed program"

# A second station on the other port runs beside the first.
start_window "$prefix/bin/kx7410" "$tmp/ttyB"
second=$started
kill -0 "$first" || fail "the first window ended when the second started"
# The command-line tool works on the same station.
"$prefix/bin/kx7410-cli" models | grep -q KX7410M31-01 || fail "kx7410-cli does not see the station's models"
kill "$first" "$second"
wait "$first" "$second" 2>/dev/null || true

# A second start finds the folders as they were left.
printf '\r\n[Marker]\r\nkept=1\r\n' >>"$config/Config.ini"
inode=$(stat -c %i "$data/Config.db")
start_window "$prefix/bin/kx7410" "$tmp/ttyA"
kill "$started"
wait "$started" 2>/dev/null || true
grep -q '^\[Marker\]' "$config/Config.ini" || fail "Config.ini was replaced at the second start"
[[ $(stat -c %i "$data/Config.db") == "$inode" ]] || fail "Config.db was made anew at the second start"

# A Config.ini beside the program: everything stays beside it, nothing goes to the XDG folders.
fresh_home portable-home
portable=$tmp/portable
mkdir -p "$portable"
cp "$prefix/bin/kx7410" "$portable/"
cp "$prefix/share/kx7410/Config.ini" "$portable/"
cp -r "$prefix/share/kx7410" "$portable/data"
start_window "$portable/kx7410" "$tmp/ttyA"
kill "$started"
wait "$started" 2>/dev/null || true
[[ -f $portable/Config.db ]] || fail "the portable program did not keep Config.db beside it"
[[ ! -e $HOME/.config/kx7410 && ! -e $HOME/.local/share/kx7410 ]] || fail "the portable program wrote to the XDG folders"
echo "install: ok"
