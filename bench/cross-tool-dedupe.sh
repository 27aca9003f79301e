#!/usr/bin/env bash
# Frees three cross-tool duplicates on a filesystem that shares blocks and reports what the
# disk gained. As root: makes a sparse XFS image with reflinks (mkfs.xfs -m reflink=1), loop-
# mounts it, builds a home in it holding one model in Ollama and LM Studio, one in the Hugging
# Face cache and Downloads, and one in a custom folder and LM Studio (SIZE_MB of random data
# each, default 256), scans it with brimvale-cli, frees the LM Studio, Downloads and custom
# copies with `brimvale-cli dedupe`, then prints the CLI's report, df before and after, and
# whether the freed entries are still marked after a rescan.
#
# Environment: SIZE_MB  size of each model (default 256)
#              BRIMVALE_CLI  the CLI binary (default: build/bin/brimvale-cli)
set -euo pipefail
cd "$(dirname "$0")/.."

size_mb=${SIZE_MB:-256}
cli=$(realpath "${BRIMVALE_CLI:-build/bin/brimvale-cli}")
[[ $(id -u) -eq 0 ]] || { echo "needs root (loop mount)" >&2; exit 2; }
command -v mkfs.xfs >/dev/null || { echo "needs mkfs.xfs (Debian package xfsprogs)" >&2; exit 2; }

work=$(mktemp -d)
mnt=$work/mnt
cleanup() {
    umount "$mnt" 2>/dev/null || umount -l "$mnt" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
truncate -s $((size_mb * 8 + 512))M "$work/xfs.img"
mkfs.xfs -q -m reflink=1 "$work/xfs.img"
mkdir -p "$mnt"
mount -o loop "$work/xfs.img" "$mnt"

home=$mnt/home
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache \
    XDG_DATA_HOME=$home/.local/share
unset OLLAMA_MODELS HF_HOME HF_HUB_CACHE

model() { head -c "${size_mb}M" /dev/urandom >"$1"; }
copy() { mkdir -p "$(dirname "$2")"; cp --reflink=never "$1" "$2"; }

# Ollama tag llama:8b whose model layer is the first model; LM Studio has a copy of it.
store=$home/.ollama/models
blob=$(printf 'a%.0s' {1..64})
mkdir -p "$store/blobs" "$store/manifests/registry.ollama.ai/library/llama"
model "$store/blobs/sha256-$blob"
printf '{"config":{"digest":"sha256:%s","size":2},"layers":[{"mediaType":"application/vnd.ollama.image.model","digest":"sha256:%s","size":%d}]}' \
    "$(printf 'c%.0s' {1..64})" "$blob" $((size_mb * 1024 * 1024)) \
    >"$store/manifests/registry.ollama.ai/library/llama/8b"
printf '{}' >"$store/blobs/sha256-$(printf 'c%.0s' {1..64})"
copy "$store/blobs/sha256-$blob" "$home/.lmstudio/models/meta/llama/llama-8b-Q4_K_M.gguf"

# A Hugging Face repository's blob, and a copy in Downloads.
repo=$home/.cache/huggingface/hub/models--org--mistral
hfblob=$(printf 'e%.0s' {1..64})
mkdir -p "$repo/blobs" "$repo/snapshots/rev"
model "$repo/blobs/$hfblob"
ln -s "../../blobs/$hfblob" "$repo/snapshots/rev/model.safetensors"
copy "$repo/blobs/$hfblob" "$home/Downloads/mistral.safetensors"

# A custom folder's model, and a copy in LM Studio.
model "$home/Models/qwen-7b-Q5_K_M.gguf"
copy "$home/Models/qwen-7b-Q5_K_M.gguf" "$home/.lmstudio/models/qwen/qwen/qwen-7b-Q5_K_M.gguf"
sync

scan() { "$cli" scan --json --loose --folder "$home/Models"; }
ids=$(scan | python3 -c '
import json, sys
for m in json.load(sys.stdin)["models"]:
    if m["isDuplicate"] and m["source"] in ("LmStudio", "Loose"):
        print(m["id"])')
echo "Entries to free: $(echo "$ids" | tr '\n' ' ')"
df -B1 --output=avail "$mnt" | tail -1 | sed 's/^/Free before: /'
# shellcheck disable=SC2086
"$cli" dedupe --loose --folder "$home/Models" $ids
sync
df -B1 --output=avail "$mnt" | tail -1 | sed 's/^/Free after:  /'
echo "Still marked after a rescan: $(scan | python3 -c '
import json, sys
print(sum(1 for m in json.load(sys.stdin)["models"] if m["isDuplicate"]))')"
