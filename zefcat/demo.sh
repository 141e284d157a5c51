#!/bin/sh
# The round trip that `make demo` shows, run on the default library.
set -e
build=${1:-build}
"$build/zefcat" about
