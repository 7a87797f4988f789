#!/usr/bin/env bash
# Makes docs/exchange.png, the README's picture: two copies side by side in
# tmux, in a real xterm under Xvfb, after each has sent the other a message.
# Not part of the tests; installs what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh --picture
bash scripts/build.sh build
bin=$PWD/build/quennimard
display=:73
session=quennimard-picture
columns=170
rows=34

Xvfb "$display" -screen 0 1400x700x24 -nolisten tcp &
xvfb=$!
cleanup() {
    tmux kill-session -t "$session" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT

tmux kill-session -t "$session" 2>/dev/null || true
tmux new-session -d -s "$session" -x "$columns" -y "$rows" "$bin 127.0.0.1 4556 127.0.0.1 4555"
tmux split-window -h -t "$session" "$bin 127.0.0.1 4555 127.0.0.1 4556"
tmux set-option -t "$session" status off
sleep 1
window_file=$(mktemp)
DISPLAY=$display xterm -geometry "${columns}x${rows}+0+0" -fa "DejaVu Sans Mono" -fs 10 \
    -bg black -fg grey90 -e sh -c 'echo "$WINDOWID" > "$0"; exec tmux attach -t "$1"' \
    "$window_file" "$session" &
sleep 2

# Types into one pane as a person would: Enter twice, a command, a word.
type_into() {
    local pane=$1
    shift
    for keys in Enter Enter "$@"; do
        tmux send-keys -t "$session:0.$pane" "$keys"
        [[ $keys == Enter ]] || tmux send-keys -t "$session:0.$pane" Enter
        sleep 0.3
    done
}
type_into 0 send hello
type_into 1 send hi-there
sleep 1
DISPLAY=$display import -window "$(cat "$window_file")" docs/exchange.png
rm -f "$window_file"
echo "docs/exchange.png"
