#!/usr/bin/env bash
# Installs what is needed, builds, and opens two copies side by side in tmux:
# the left one listens on 4555 and sends to 4556, the right one the reverse.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
bash scripts/build.sh build
bin=$PWD/build/quennimard

session=quennimard-demo
tmux kill-session -t "$session" 2>/dev/null || true
tmux new-session -d -s "$session" -x 200 -y 50 "$bin 127.0.0.1 4556 127.0.0.1 4555"
tmux split-window -h -t "$session" "$bin 127.0.0.1 4555 127.0.0.1 4556"
tmux select-pane -t "$session:0.0"

echo "In either pane: press Enter twice, type send, then a word. Type exit to leave a pane,"
echo "or send the word quit to end both. Ctrl-b then an arrow key moves between panes."
if [[ -t 0 && -t 1 ]]; then
    exec tmux attach -t "$session"
fi
echo "No terminal here: attach from one with: tmux attach -t $session"
