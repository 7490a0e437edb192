#!/usr/bin/env bash
# The style and static checks of our own C++ sources; any finding fails.
#   lint.sh format                     clang-format in check mode over every tracked source
#   lint.sh tidy BUILD_DIR core        clang-tidy over the files of a host build
#   lint.sh tidy BUILD_DIR windows T   clang-tidy over the Windows-only files of a MinGW
#                                      build for target triple T
set -euo pipefail
cd "$(dirname "$0")/.."

sources() {
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files -- 'prepclient/*.cpp' 'prepclient/*.h' 'launcher/*.cpp' 'launcher/*.h' 'probes/*.cpp' 'probes/*.h'
    else
        find prepclient launcher probes -name '*.cpp' -o -name '*.h' | sort
    fi
}

# The files a compile database builds, under our two program folders.
database_files() {
    python3 - "$1/compile_commands.json" <<'PY'
import json, os, sys
for entry in json.load(open(sys.argv[1])):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    print(path)
PY
}

# The C++ include folders of a MinGW compiler, which clang does not find by itself.
mingw_cxx_includes() {
    "$1-g++-posix" -xc++ -E -v /dev/null 2>&1 |
        sed -n '/#include <...> search starts here:/,/End of search list./p' | sed '1d;$d;s/^ *//' |
        grep '/include/c++'
}

run_tidy() {
    local build="$1" scope="$2" target="${3:-}" root
    root="$(pwd)"
    local args=(-p "$build" --quiet --warnings-as-errors='*')
    local files
    if [ "$scope" = windows ]; then
        args+=("--extra-arg=--target=$target")
        while read -r dir; do args+=("--extra-arg=-isystem$dir"); done < <(mingw_cxx_includes "$target")
        files="$(database_files "$build" | grep -E '/(platform|e2e|bench|probes)/[^/]*\.cpp$|/main\.cpp$')"
    else
        files="$(database_files "$build")"
    fi
    files="$(grep -E "^$root/(prepclient|launcher|probes)/" <<<"$files" | sort -u)"
    [ -n "$files" ] || { echo "lint: no sources in $build" >&2; exit 1; }
    echo "clang-tidy: $(wc -l <<<"$files") files of $build"
    # Two at a time: one file takes seconds, and the machines have two cores.
    local log
    log="$(mktemp)"
    if ! xargs -P 2 -n 4 clang-tidy "${args[@]}" <<<"$files" >"$log" 2>&1; then
        grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated|^Suppressed [0-9]+ warnings|^Use -header-filter|^Error while processing' "$log" >&2
        rm -f "$log"
        echo "clang-tidy: findings above" >&2
        exit 1
    fi
    rm -f "$log"
    echo "clang-tidy: clean"
}

case "${1:-}" in
    format)
        # shellcheck disable=SC2046
        clang-format --dry-run --Werror $(sources)
        echo "clang-format: $(sources | wc -l) files formatted"
        ;;
    tidy) run_tidy "${2:?build folder}" "${3:?core or windows}" "${4:-}" ;;
    *)
        echo "usage: lint.sh format | tidy BUILD_DIR core | tidy BUILD_DIR windows TARGET" >&2
        exit 2
        ;;
esac
