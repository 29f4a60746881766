#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for N seconds (default 30):
# the table-open target on seeds made with `quire create`, the blob-file target
# from an empty corpus, the SQL target on the statements in fuzz/corpus-sql.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build=$root/build-fuzz
locked="$root/scripts/locked.sh"
CC=clang CXX=clang++ "$locked" cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLYRABOOK_BUILD_FUZZ=ON -DLYRABOOK_BUILD_APP=OFF -DLYRABOOK_BUILD_TESTS=OFF \
  ${LYRABOOK_WERROR:+-DLYRABOOK_WERROR=$LYRABOOK_WERROR} >/dev/null
"$locked" cmake --build "$build" --target table_open_fuzzer blob_open_fuzzer sql_statement_fuzzer quire_cli

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
corpus=$work/corpus
mkdir -p "$corpus"
[ -d "$root/fuzz/corpus" ] && cp "$root"/fuzz/corpus/* "$corpus"/ 2>/dev/null || true

# Packs a table's files as one input: "QFZ1", two little-endian lengths, files.
pack() {
  local table=$1 out=$2 blb=${1}.BLB
  [ -f "$blb" ] || blb=/dev/null
  le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
  { printf 'QFZ1'; le32 "$(stat -c %s "$table.DAT")"; le32 "$(stat -c %s "$table.IDX")"
    cat "$table.DAT" "$table.IDX" "$blb"; } >"$out"
}

seed=0
make_seed() {
  seed=$((seed + 1))
  printf '%s' "$1" >"$work/def$seed.json"
  "$build/bin/quire" create "$work/seed$seed" "$work/def$seed.json"
  pack "$work/seed$seed" "$corpus/seed$seed"
}
make_seed '{"fields": [{"name": "Code", "type": "string", "size": 10}], "primary": {"fields": ["Code"]}}'
make_seed '{"encrypted": true, "password": "secret", "description": "d",
  "fields": [{"name": "ID", "type": "autoinc"}, {"name": "Lyric", "type": "blob", "subtype": "memo"},
             {"name": "Price", "type": "bcd", "decimals": 2, "default": "1"},
             {"name": "Total", "type": "float", "compute": "Price * 2"}],
  "indexes": [{"name": "ById", "fields": ["ID"]}]}'
make_seed '{"blobBlockSize": 64, "fields": [{"name": "A", "type": "blob"}, {"name": "B", "type": "date"},
  {"name": "C", "type": "varbytes", "size": 250}]}'

"$build/bin/table_open_fuzzer" -max_total_time="$seconds" -max_len=131072 "$corpus"
# Blob-file seeds: a settings byte (bit 0 encrypted; block size 64 is bits 1-2
# clear) followed by the .BLB of a table holding values of several lengths.
mkdir -p "$work/blob-corpus"
cp "$root"/fuzz/corpus-blob/* "$work/blob-corpus"/ 2>/dev/null || true
blob_seed() {
  local name=$1 settings=$2 def=$3
  printf '%s' "$def" >"$work/$name.json"
  "$build/bin/quire" --password secret create "$work/$name" "$work/$name.json"
  python3 -c 'import json
for n in (0, 1, 46, 47, 93, 200, 1000):
    print(json.dumps({"Lyric": "x" * n}))' |
    "$build/bin/quire" --password secret insert "$work/$name" >/dev/null
  { printf "\\x$settings"; cat "$work/$name.BLB"; } >"$work/blob-corpus/$name"
}
blob_seed blobplain 00 '{"blobBlockSize": 64, "fields": [{"name": "ID", "type": "autoinc"},
  {"name": "Lyric", "type": "blob", "subtype": "memo"}], "primary": {"fields": ["ID"]}}'
blob_seed blobsecret 01 '{"blobBlockSize": 64, "encrypted": true, "password": "secret",
  "fields": [{"name": "ID", "type": "autoinc"}, {"name": "Lyric", "type": "blob", "subtype": "memo"}],
  "primary": {"fields": ["ID"]}}'
"$build/bin/blob_open_fuzzer" -max_total_time="$seconds" -max_len=65536 "$work/blob-corpus"
# SQL text: copied, so that what the fuzzer adds stays out of the tree.
mkdir -p "$work/sql-corpus"
cp "$root"/fuzz/corpus-sql/* "$work/sql-corpus"/
"$build/bin/sql_statement_fuzzer" -max_total_time="$seconds" -max_len=4096 "$work/sql-corpus"
