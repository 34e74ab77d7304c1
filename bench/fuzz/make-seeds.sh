#!/bin/sh
# Seed corpora for the fuzz targets, one folder per target under OUT (never in the repository).
# Usage: make-seeds.sh CORPUS OUT [TEXTUTIL]
# CORPUS is the shared sample corpus, read in place. With TEXTUTIL (a built textutil), every
# document there is also converted into every format, as the tests' round trips do.
set -eu
corpus=$1
out=$2
textutil=${3:-}
[ -d "$corpus" ] || { echo "make-seeds.sh: no corpus at $corpus" >&2; exit 1; }
mkdir -p "$out"

n=0
# seed TARGET FILE...: copies each file, named by its content hash so reruns don't duplicate.
seed() {
    t=$1; shift
    mkdir -p "$out/$t"
    for f in "$@"; do
        [ -f "$f" ] || continue
        cp "$f" "$out/$t/$(sha1sum < "$f" | cut -c1-16)"
        n=$((n + 1))
    done
}

seed txt "$corpus"/txt/* "$corpus"/rtf/* "$corpus"/html/*
seed rtf "$corpus"/rtf/* "$corpus"/rtfd/*/TXT.rtf
seed rtfd "$corpus"/rtfd/*/TXT.rtf "$corpus"/rtf/*
seed html "$corpus"/html/*
seed webarchive "$corpus"/webarchive/*
seed docx "$corpus"/docx/*
seed odt "$corpus"/odt/*
seed wordml "$corpus"/wordml/*
seed doc "$corpus"/doc/*
seed writers "$corpus"/txt/* "$corpus"/rtf/* "$corpus"/html/* "$corpus"/webarchive/* \
    "$corpus"/docx/* "$corpus"/odt/* "$corpus"/wordml/* "$corpus"/doc/* "$corpus"/rtfd/*/TXT.rtf
for d in bmp gif icns jp2 jpeg pict png psd tiff; do seed sips "$corpus"/$d/*; done
seed say "$corpus"/txt/* "$corpus"/rtf/*

if [ -n "$textutil" ]; then
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    for src in "$corpus"/txt/* "$corpus"/rtf/* "$corpus"/html/* "$corpus"/docx/* \
               "$corpus"/odt/* "$corpus"/doc/* "$corpus"/wordml/* "$corpus"/webarchive/* \
               "$corpus"/rtfd/*.rtfd; do
        for fmt in txt rtf rtfd html webarchive docx odt wordml doc; do
            rm -rf "$tmp"/out*
            "$textutil" -convert "$fmt" -output "$tmp/out.$fmt" "$src" >/dev/null 2>&1 || continue
            if [ "$fmt" = rtfd ]; then
                seed rtfd "$tmp/out.rtfd/TXT.rtf"
                seed rtf "$tmp/out.rtfd/TXT.rtf"
            else
                seed "$fmt" "$tmp/out.$fmt"
                seed writers "$tmp/out.$fmt"
            fi
        done
    done
fi
echo "make-seeds.sh: $n seed files under $out"
