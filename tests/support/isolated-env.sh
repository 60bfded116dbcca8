#!/bin/sh
# Runs one test with its own HOME, XDG_* folders and TMPDIR, so nothing touches the real home or
# desktop and tests can run in parallel. The folder is removed afterwards unless the test failed
# and NIMBREL_KEEP_TEST_DIRS is set.
set -u
root=$(mktemp -d "${TMPDIR:-/tmp}/nimbrel-test.XXXXXX") || exit 1
export HOME="$root/home"
export XDG_CONFIG_HOME="$root/config"
export XDG_DATA_HOME="$root/data"
export XDG_CACHE_HOME="$root/cache"
export XDG_STATE_HOME="$root/state"
export XDG_RUNTIME_DIR="$root/runtime"
export XDG_DATA_DIRS="$root/data-dirs:/usr/share"
export XDG_CONFIG_DIRS="$root/config-dirs"
export TMPDIR="$root/tmp"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME" \
         "$XDG_RUNTIME_DIR" "$TMPDIR" "$root/data-dirs" "$root/config-dirs"
chmod 700 "$XDG_RUNTIME_DIR"
export NIMBREL_TEST_ROOT="$root"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
# The program fetches its version catalogue at start: tests never reach the maker's storage, only
# a closed loopback port unless they serve their own.
export NIMBREL_STORAGE_BASE_URL="${NIMBREL_STORAGE_BASE_URL:-https://127.0.0.1:1/}"
export QT_QUICK_CONTROLS_STYLE=Material
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1}"
# Under umockdev-wrapper the preloaded libumockdev-preload comes before the sanitizer runtime,
# which ASan refuses by default; the order does no harm to the interception it needs.
if [ -n "${NIMBREL_UMOCKDEV:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:verify_asan_link_order=0"
fi
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=${NIMBREL_SOURCE_DIR:-.}/tests/support/lsan.supp:print_suppressions=0}"

"$@"
status=$?
if [ $status -ne 0 ] && [ -n "${NIMBREL_KEEP_TEST_DIRS:-}" ]; then
    echo "isolated-env: kept $root" >&2
else
    rm -rf "$root"
fi
exit $status
