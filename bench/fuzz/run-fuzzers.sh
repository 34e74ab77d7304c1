#!/bin/sh
# Runs fuzz targets one after another, each for SECONDS (default 300), one job at a time.
# Usage: run-fuzzers.sh BUILD_DIR [SECONDS] [TARGET...]   (targets: txt rtf ... writers sips say)
# Working corpora, crashes and logs go to BUILD_DIR/{corpus,artifacts,logs}/TARGET; seeds are
# read from BUILD_DIR/seeds/TARGET (see make-seeds.sh).
set -u
build=$(cd "$1" && pwd)
secs=${2:-300}
shift; [ $# -gt 0 ] && shift
targets=${*:-"doc rtf html docx odt writers wordml webarchive rtfd txt sips say"}

here=$(cd "$(dirname "$0")" && pwd)
export LSAN_OPTIONS="suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

for t in $targets; do
    case $t in
        txt|rtf|rtfd|html|say) maxlen=65536 ;;
        *) maxlen=524288 ;;
    esac
    case $t in
        sips|say|writers) bin=$build/bin/fuzz_$t ;;
        *) bin=$build/bin/fuzz_textutil_$t ;;
    esac
    [ "$t" = writers ] && bin=$build/bin/fuzz_textutil_writers
    mkdir -p "$build/corpus/$t" "$build/artifacts/$t" "$build/logs"
    log=$build/logs/$t.log
    # With -jobs libFuzzer logs to fuzz-0.log in the current folder: keep that in the build.
    mkdir -p "$build/logs/$t.d" && cd "$build/logs/$t.d" || exit 1
    echo "== $t: ${secs}s, max_len $maxlen"
    "$bin" -jobs=1 -workers=1 -max_len=$maxlen -rss_limit_mb=2048 -timeout=10 \
        -max_total_time="$secs" -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$t/" \
        "$build/corpus/$t" "$build/seeds/$t" > "$log" 2>&1
    echo "   exit $?: $(grep -E '^#[0-9]+' "$log" | tail -1)"
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "$log" | tr '\n' ' '; echo
    ls "$build/artifacts/$t"
done
