#!/usr/bin/env bash
# Sources the bash completion of brimvale-cli and checks what it offers in a fixture home.
#   completion.sh COMPLETION-FILE BIN-DIR   (BIN-DIR holds the brimvale-cli to complete with)
set -uo pipefail
completion=$1
export PATH=$2:$PATH

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
export HOME=$root/home XDG_DATA_HOME=$root/home/.local/share XDG_CACHE_HOME=$root/home/.cache \
  XDG_CONFIG_HOME=$root/home/.config XDG_STATE_HOME=$root/home/.local/state \
  XDG_RUNTIME_DIR=$root/run
unset XDG_DATA_DIRS XDG_CONFIG_DIRS
mkdir -p "$HOME/models" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
truncate -s 300M "$HOME/models/Big Model Q4.gguf"
truncate -s 200M "$HOME/models/small.safetensors"
truncate -s 100M "$HOME/models/gone.gguf"
brimvale-cli folders add "$HOME/models" || exit 1
brimvale-cli trash custom-gone-104857600 >/dev/null || exit 1

# shellcheck disable=SC1091
source /usr/share/bash-completion/bash_completion || exit 1
# shellcheck disable=SC1090
source "$completion" || exit 1

failures=0
# expect "WORDS TYPED" "EXPECTED COMPLETIONS": the last word is the one being completed.
expect()
{
    local line=$1 wanted=$2
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    _brimvale_cli brimvale-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')
    if [[ $got != "$wanted" ]]; then
        echo "FAIL: '$line' offers '$got', expected '$wanted'"
        failures=$((failures + 1))
    else
        echo "ok: '$line' -> '$got'"
    fi
}

expect "brimvale-cli tr" "trash trashed"
expect "brimvale-cli trash " "custom-big_model_q4-314572800 custom-small-209715200"
expect "brimvale-cli trash custom-s" "custom-small-209715200"
expect "brimvale-cli move --to /tmp custom-b" "custom-big_model_q4-314572800"
expect "brimvale-cli trash --f" "--folder --force"
expect "brimvale-cli dedupe --h" "--hard-link"
expect "brimvale-cli dedupe custom-s" "custom-small-209715200"
trashed=$(brimvale-cli trashed | cut -f1)
[[ $trashed == custom-gone-104857600* ]] || { echo "FAIL: trashed lists '$trashed'"; exit 1; }
expect "brimvale-cli restore " "$trashed"
expect "brimvale-cli delete --yes " "$trashed"
expect "brimvale-cli folders " "add list remove"

# A scan that takes longer than 3 seconds offers no ids.
mkdir "$root/slow"
printf '#!/bin/sh\nsleep 10\nexec %q "$@"\n' "$(command -v brimvale-cli)" >"$root/slow/brimvale-cli"
chmod +x "$root/slow/brimvale-cli"
PATH=$root/slow:$PATH expect "brimvale-cli trash " ""
exit $((failures > 0))
