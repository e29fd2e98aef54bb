#!/usr/bin/env bash
# Checks installed programs: tools/install-test.sh runs it on a DESTDIR
# install, tools/deb-test.sh inside a Debian root where the package was
# installed with apt.
#   packaging/check-installed.sh PREFIX SAMPLE.hex WORKDIR
# PREFIX is where the programs were installed (DESTDIR/usr, or /usr), WORKDIR
# an empty folder for the run: the user's home and configuration folder,
# the simulated chip, the read-back. Needs srec_cmp (srecord); validates the
# desktop entry, the AppStream file and the man pages where
# desktop-file-validate, appstreamcli and man are installed.
set -euo pipefail
prefix=$1 sample=$2 work=$3
bin=$prefix/bin share=$prefix/share
fail() {
    echo "check-installed: $*" >&2
    exit 1
}
step() { echo "check-installed: $*"; }

# The installed files.
for f in "$bin/qlarkw" "$bin/qlarkw-cli" "$bin/qlarkw-sim"; do
    [ -x "$f" ] || fail "$f is missing"
done
for f in applications/qlarkw.desktop mime/packages/qlarkw.xml \
    bash-completion/completions/qlarkw-cli doc/qlarkw/copyright doc/qlarkw/changelog.Debian.gz \
    doc/qlarkw/manual/index.html \
    man/man1/qlarkw.1.gz man/man1/qlarkw-cli.1.gz man/man1/qlarkw-sim.1.gz \
    icons/hicolor/scalable/apps/qlarkw.svg; do
    [ -f "$share/$f" ] || fail "$share/$f is missing"
done
for size in 16 32 48 64 128 256; do
    [ -f "$share/icons/hicolor/${size}x$size/apps/qlarkw.png" ] || fail "no ${size}px icon"
done
compgen -G "$share/metainfo/*.metainfo.xml" >/dev/null || fail "no AppStream file"
[ -f "$prefix/lib/udev/rules.d/70-qlark-writer.rules" ] || fail "no udev rule"

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$share/applications/qlarkw.desktop" || fail "desktop entry"
    step "desktop-file-validate: passed"
else
    step "SKIPPED: desktop-file-validate (desktop-file-utils) is not installed"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$share"/metainfo/*.metainfo.xml || fail "AppStream file"
    step "appstreamcli validate: passed"
else
    step "SKIPPED: appstreamcli (appstream) is not installed"
fi
if ! command -v man >/dev/null; then
    step "SKIPPED: the man pages' rendering (man-db is not installed)"
else
    for page in qlarkw qlarkw-cli qlarkw-sim; do
        # What lintian runs: groff's warnings on standard error.
        warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
            man --warnings -E UTF-8 -l -Tutf8 -Z "$share/man/man1/$page.1.gz" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "man page $page: $warnings"
    done
    step "man pages render without warnings"
fi

# The run: a home, a configuration folder and a temporary folder of its own,
# and the simulated Writer, whose chip is kept in a file between the runs.
mkdir -p "$work/home" "$work/tmp" "$work/runtime"
chmod 700 "$work/runtime"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config TMPDIR=$work/tmp \
    XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen \
    QLARKW_DEVICE=sim QLARKW_SIM_STATE=$work/chip.hex
unset QLARKW_SIM_TRACE QLARKW_SIM_FAULT
settings=$XDG_CONFIG_HOME/qlarkw/qlarkw.ini
bin_before=$(ls -A "$bin")

# qlarkw-cli: write the sample, read it back, compare with srecord.
out=$(timeout 60 "$bin/qlarkw-cli" --verbose write "$sample" 2>&1) || fail "write: $out"
grep -qF "settings $settings" <<<"$out" || fail "write: not the configuration folder's settings: $out"
timeout 60 "$bin/qlarkw-cli" read -o "$work/readback.hex" 2>/dev/null || fail "read"
srec_cmp "$sample" -intel "$work/readback.hex" -intel -crop -within '(' "$sample" -intel ')' ||
    fail "the read-back differs from $sample"
step "qlarkw-cli wrote $(basename "$sample") into the simulated Writer and read it back"

# A portable copy: a settings file beside the program that can be written wins.
if [ -w "$bin" ]; then
    printf '[Mode]\r\nQ-LARK= 1\r\n' >"$bin/qlarkw.ini"
    out=$(timeout 60 "$bin/qlarkw-cli" --verbose version 2>&1) || true
    rm -f "$bin/qlarkw.ini"
    grep -qF "board 1, settings $bin/qlarkw.ini" <<<"$out" ||
        fail "the settings file beside the program was not used: $out"
    step "a settings file beside the program wins"
fi

# Starts the desktop program PROGRAM, waits for its main window, ends it
# with SIGTERM, which closes the window as the Exit button does, and checks
# that it stored its settings in SETTINGS. The start-up check's last device
# call tells when the window is about to open.
gui_round_trip() {
    local program=$1 settings=$2 trace=$work/trace.txt log=$work/qlarkw.log pid status=0
    rm -f "$trace"
    QLARKW_SIM_TRACE=$trace timeout 60 "$program" >"$log" 2>&1 &
    pid=$!
    for _ in $(seq 300); do
        grep -q ' close$' "$trace" 2>/dev/null && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    grep -q ' close$' "$trace" 2>/dev/null || fail "$program did not reach the Writer: $(cat "$log")"
    sleep 2
    kill -TERM "$pid"
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "$program ended with status $status: $(cat "$log")"
    [ -f "$settings" ] || fail "$program stored no settings in $settings"
    for key in 'name=' 'word= 26' 'Q-LARK= 2'; do
        grep -qF "$key" "$settings" || fail "$settings lacks '$key': $(cat "$settings")"
    done
}

gui_round_trip "$bin/qlarkw" "$settings"
step "qlarkw opened its window, closed on SIGTERM and stored its settings in $settings"

[ "$(ls -A "$bin")" = "$bin_before" ] || fail "files were made beside the programs: $(ls -A "$bin")"
step "nothing was written beside the installed programs"

# A copy of the programs in a read-only folder that is not a bin folder
# (the rule for a build folder would otherwise keep the settings beside
# them): they use the configuration folder too. Root writes anywhere, so
# the folder is made read-only by a read-only bind mount; other users get a
# folder without write permission.
readonly_dir=$work/readonly/qlarkw
mkdir -p "$readonly_dir"
cp "$bin/qlarkw" "$bin/qlarkw-cli" "$readonly_dir/"
made_readonly=""
if [ "$(id -u)" -ne 0 ]; then
    chmod a-w "$readonly_dir" && made_readonly="chmod"
elif mount --bind "$readonly_dir" "$readonly_dir" 2>/dev/null; then
    if mount -o remount,bind,ro "$readonly_dir" 2>/dev/null; then
        made_readonly=mount
    else
        umount "$readonly_dir"
    fi
fi
if [ -z "$made_readonly" ]; then
    step "SKIPPED: the read-only folder (no read-only bind mount possible here)"
else
    release() {
        if [ "$made_readonly" = mount ]; then umount "$readonly_dir"; else chmod u+w "$readonly_dir"; fi
    }
    trap release EXIT
    export XDG_CONFIG_HOME=$work/home/.config-readonly
    out=$(timeout 60 "$readonly_dir/qlarkw-cli" --verbose version 2>&1) || fail "version: $out"
    grep -qF "settings $XDG_CONFIG_HOME/qlarkw/qlarkw.ini" <<<"$out" ||
        fail "qlarkw-cli in a read-only folder: $out"
    gui_round_trip "$readonly_dir/qlarkw" "$XDG_CONFIG_HOME/qlarkw/qlarkw.ini"
    [ "$(ls -A "$readonly_dir")" = "$(printf 'qlarkw\nqlarkw-cli')" ] ||
        fail "files were made in the read-only folder: $(ls -A "$readonly_dir")"
    release
    trap - EXIT
    step "programs in a read-only folder ($made_readonly) keep their settings in the configuration folder"
fi

# bash completion of qlarkw-cli's commands.
got=$(bash --norc --noprofile -c 'source "$1"; COMP_WORDS=(qlarkw-cli eeprom ""); COMP_CWORD=2
    _qlarkw_cli; echo "${COMPREPLY[*]}"' bash "$share/bash-completion/completions/qlarkw-cli")
[ "$got" = "read erase set write" ] || fail "bash completion of 'eeprom': $got"
step "bash completion completes qlarkw-cli's commands"
