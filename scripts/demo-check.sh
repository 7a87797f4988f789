#!/usr/bin/env bash
# Runs the README's first command as a newcomer would, and checks it, in both
# its forms: bash scripts/demo.sh, then bash scripts/demo.sh --mixed (the
# right pane runs the 32-bit build). Without a terminal the demo starts its
# tmux session detached: this types into both panes with tmux send-keys, a
# key at a time, reads them with capture-pane, and checks that a word goes
# each way and that quit ends both copies, each normally, and the session.
# Run it as root, with ports 4555 and 4556 free.
set -euo pipefail
cd "$(dirname "$0")/.."
session=quennimard-demo
logs=$(mktemp -d)
trap 'tmux kill-session -t "$session" 2>/dev/null || true; rm -rf "$logs"' EXIT

shown() { tmux capture-pane -p -J -S - -t "$session:0.$1" 2>/dev/null; }

# wait_for PANE TEXT [COUNT]: until the pane shows TEXT at least COUNT times.
wait_for() {
    local at_least=${3:-1}
    for ((tries = 0; tries < 150; tries++)); do
        [[ $(shown "$1" | grep -cF -- "$2") -ge $at_least ]] && return 0
        sleep 0.1
    done
    echo "demo-check: pane $1 never showed \"$2\" ($at_least times); it shows:"
    shown "$1" | tail -n 15
    return 1
}

# press PANE: Enter, as a person presses it, a moment after the last key.
press_enter() {
    tmux send-keys -t "$session:0.$1" Enter
    sleep 0.2
}

# type_word PANE WORD: the word a letter at a time, then Enter.
type_word() {
    for ((i = 0; i < ${#2}; i++)); do
        tmux send-keys -t "$session:0.$1" -l "${2:i:1}"
        sleep 0.05
    done
    press_enter "$1"
}

# send_word PANE WORD: Enter twice for the prompt, then send and the word.
send_word() {
    local prompts
    prompts=$(shown "$1" | grep -c '^\$ ' || true)
    press_enter "$1"
    press_enter "$1"
    wait_for "$1" '$ ' $((prompts + 1))
    type_word "$1" send
    wait_for "$1" ' > ' $((prompts + 1))
    type_word "$1" "$2"
}

# ended PANE TEXT: the pane's log, kept after its copy ended, holds TEXT.
ended() {
    grep -qF -- "$2" "$logs/$1" && return 0
    echo "demo-check: the copy in pane $1 did not end with \"$2\""
    return 1
}

check() {
    echo "== bash scripts/demo.sh $*"
    bash scripts/demo.sh "$@"
    for pane in 0 1; do
        rm -f "$logs/$pane"
        tmux pipe-pane -t "$session:0.$pane" "cat >> $logs/$pane"
    done
    if [[ ${1:-} == --mixed ]]; then
        wait_for 1 "Is this correct? [Y/n]"
        type_word 1 y
    fi
    for pane in 0 1; do wait_for "$pane" "Allocating memory for recieving packets...Success!"; done

    send_word 0 hello
    wait_for 1 ' MSG: hello'
    send_word 1 hi-there
    wait_for 0 ' MSG: hi-there'
    send_word 0 quit
    for ((tries = 0; tries < 100; tries++)); do
        tmux has-session -t "$session" 2>/dev/null || break
        sleep 0.1
    done
    if tmux has-session -t "$session" 2>/dev/null; then
        echo "demo-check: quit left the session running"
        return 1
    fi
    ended 0 'Client sent "quit" command!'
    ended 1 'Server recieved "quit" signal from client!'
    for pane in 0 1; do ended "$pane" "Terminating program normally..."; done
    echo "demo-check: a word went each way, and quit ended both copies and the session"
}

check
check --mixed
