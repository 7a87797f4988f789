#!/usr/bin/env bash
# Installs what is needed, builds both deliverables, and opens two copies side
# by side in tmux: the left one listens on 4555 and sends to 4556, the right
# one the reverse. With --mixed the right pane runs the 32-bit x86 build.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
bash scripts/build.sh build
bash scripts/build.sh build-i386 -DQUENNIMARD_I386=ON -DQUENNIMARD_TESTS=OFF
bin=$PWD/build/quennimard
right=$bin
if [[ "${1:-}" == "--mixed" ]]; then
    right=$PWD/build-i386/quennimard
    # Some kernels cannot run 32-bit programs themselves; qemu-i386 can.
    "$right" >/dev/null 2>&1 || [[ $? -ne 126 ]] || right="qemu-i386 $right"
fi

session=quennimard-demo
tmux kill-session -t "$session" 2>/dev/null || true
tmux new-session -d -s "$session" -x 200 -y 50 "$bin 127.0.0.1 4556 127.0.0.1 4555"
tmux split-window -h -t "$session" "$right 127.0.0.1 4555 127.0.0.1 4556"
tmux select-pane -t "$session:0.0"

[[ "$right" == "$bin" ]] || echo "The right pane runs the 32-bit build: answer its question with y."
echo "In either pane: press Enter twice, type send, then a word. Type exit to leave a pane,"
echo "or send the word quit to end both. Ctrl-b then an arrow key moves between panes."
if [[ -t 0 && -t 1 ]]; then
    exec tmux attach -t "$session"
fi
echo "No terminal here: attach from one with: tmux attach -t $session"
