#!/bin/sh
# The round trip that `make demo` shows: each command is printed before it
# runs, like a transcript. WORK is a fresh temporary directory, so the demo
# starts clean every time and leaves nothing behind.
set -e
build=$(cd "${1:-build}" && pwd)
place=$(mktemp -d "${TMPDIR:-/tmp}/zefcat-demo.XXXXXX")
trap 'rm -rf "$place"' EXIT
cd "$place"
export ZEF_WORK="$place/zefdata"

zefcat() { "$build/zefcat" "$@"; }
# Prints a command as a person would type it, then runs it.
show() {
    printf '\n$ %s\n' "$1"
    eval "$1"
}

# What the demo stores: a text file and a small PNG (a 1x1 picture).
printf 'zefxbaml demo\nThese lines are stored one record each\nand come back as they went in.\n' > notes.txt
printf '%s' 'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==' |
    base64 -d > logo.png

echo "WORK is $ZEF_WORK (made on the first write)"
show "zefcat put work.demo.notes.source notes.txt DESC='Demo notes'"
show "zefcat put work.demo.logo.png logo.png DESC='A 1x1 picture'"
show "echo 'demo started' | zefcat append work.demo.run.log"
show "echo 'demo still running' | zefcat append work.demo.run.log"
show "zefcat ls work.demo"
show "zefcat get work.demo.notes.source"
show "zefcat get work.demo.logo.png -o logo-back.png && cmp logo.png logo-back.png && echo 'logo.png came back byte for byte'"
show "zefcat get work.demo.run.log"
show "zefcat info work.demo.notes.source"
show "zefcat exists work.demo.notes.source && echo 'it exists (exit status 0)'"
show "zefcat rm work.demo.logo.png"
show "zefcat exists work.demo.logo.png || echo 'it is gone (exit status 1)'"
show "zefcat export work.demo demo.tar"
show "zefcat import demo.tar work.copy"
show "zefcat verify"
show "zefcat vacuum work.demo"
show "zefcat ls work.demo"
