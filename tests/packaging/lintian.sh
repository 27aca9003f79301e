#!/usr/bin/env bash
# Makes the Debian package from a built tree, as packaging.sh does, and runs lintian on it.
# Fails on every error or warning whose tag is not in lintian-accepted.txt beside this script,
# and on an entry there without its reason. Exits 77 (skipped) where lintian is not installed.
#   lintian.sh BUILD-DIR VERSION
set -uo pipefail
here=$(dirname "$0")
source "$here/deb.sh"
build=$1
version=$2
accepted_file=$here/lintian-accepted.txt

if ! command -v lintian >/dev/null; then
    echo "SKIP: lintian is not installed (scripts/setup --test installs it)"
    exit 77
fi
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0

# The accepted tags: "tag: reason", one a line; blank lines and lines starting with "#" aside.
declare -A accepted=()
while IFS= read -r line; do
    [[ -z $line || $line == \#* ]] && continue
    tag=${line%%:*}
    reason=${line#*:}
    if [[ $line != *:* || -z ${reason// /} ]]; then
        echo "FAIL: $(basename "$accepted_file") lists '$tag' without a reason"
        failures=$((failures + 1))
        continue
    fi
    accepted[$tag]=$reason
done <"$accepted_file"

deb=$(make_deb "$build" "$root/deb" "$version") || { echo "FAIL: making the package"; exit 1; }
lintian --tag-display-limit 0 --display-level '>=warning' "$deb" >"$root/lintian.log" 2>&1
status=$?
cat "$root/lintian.log"
# Lintian ends non-zero on its own errors too; a report with no tag line then is a failure.
if [[ $status -ne 0 ]] && ! grep -qE '^[EW]: ' "$root/lintian.log"; then
    echo "FAIL: lintian exited $status"
    failures=$((failures + 1))
fi
declare -A seen=()
while read -r kind _ tag _; do
    seen[$tag]=1
    if [[ -z ${accepted[$tag]+set} ]]; then
        echo "FAIL: lintian $kind $tag"
        failures=$((failures + 1))
    fi
done < <(grep -E '^[EW]: ' "$root/lintian.log")
for tag in "${!accepted[@]}"; do
    [[ -n ${seen[$tag]+set} ]] || echo "note: accepted tag $tag was not reported; it can go"
done

[[ $failures -eq 0 ]] && echo "lintian: no error or warning beyond the accepted ones"
exit $((failures > 0))
