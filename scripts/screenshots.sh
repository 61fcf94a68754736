#!/usr/bin/env bash
# Takes the README's screenshots of build/minutrex under a virtual X server.
# Usage: xvfb-run -a -s "-screen 0 800x800x24" scripts/screenshots.sh
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cp "$ROOT/build/minutrex" "$WORK/"

shoot() { import -window "$1" "$2"; }
# The visible window of the process, polled quickly: the first tick comes 333 ms after start.
visible_window() {
    local w=""
    for _ in $(seq 200); do
        w=$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | tail -1) && [ -n "$w" ] && break
        sleep 0.02
    done
    echo "$w"
}

# First run: the window as it opens, before the first tick.
"$WORK/minutrex" &
pid=$!
win=$(visible_window "$pid")
shoot "$win" "$ROOT/docs/main-window.png"

# Opens the settings with a double-click on the time and takes their picture.
shoot_settings() {
    local pid=$1 win=$2 out=$3
    eval "$(xdotool getwindowgeometry --shell "$win")"
    xdotool mousemove $((X + 116)) $((Y + 112)) click --repeat 2 --delay 60 1
    sleep 0.5
    shoot "$(visible_window "$pid")" "$out"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}

# The settings window as a first run opens it.
shoot_settings "$pid" "$win" "$ROOT/docs/settings-first-run.png"

# A filled one.
printf 'Descrip.Lignes : 1-Heures,2-Minutes,3-Secondes,4-Action,5-Fichier,6-Path,7-Observ,8/9/10-Options\r\n 0 \r\n 25 \r\n 0 \r\nPause th\xe9\r\nrappel.ogg\r\n/home/claire/Musique/\r\nLa bouilloire !\r\n 1 \r\n 1 \r\n 1 \r\n 0 \r\n' > "$WORK/Minutrex.ini"
"$WORK/minutrex" &
pid=$!
shoot_settings "$pid" "$(visible_window "$pid")" "$ROOT/docs/settings-filled.png"

# The filled settings again, under a dark desktop palette and at twice the
# pixels; the settings are opened with F2 here.
shoot_pair() {
    local name=$1
    shift
    env "$@" "$WORK/minutrex" &
    local pid=$! win
    win=$(visible_window "$pid")
    sleep 0.4
    shoot "$win" "$ROOT/docs/$name-main.png"
    xdotool windowfocus --sync "$win" key F2
    sleep 0.8
    shoot "$(visible_window "$pid")" "$ROOT/docs/$name-settings.png"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}
shoot_pair dark QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark
shoot_pair scale-2 QT_SCALE_FACTOR=2
