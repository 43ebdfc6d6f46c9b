# Runs tst_scan as a user's scans run: the test binary as a copy of itself in a
# scratch folder, beside copies of the scanner library and its helper (acquired
# photos go to the program's own folder, where the library is also looked for
# first), with SANE configured from there.
#   run.sh TST_SCAN LIBVINTRELSCAN VINTREL_SANE [CASE...]
set -u
folder=$(mktemp -d /tmp/vintrel-scan-XXXXXX)
trap 'rm -rf "$folder"' EXIT
cp "$1" "$folder/tst_scan" && cp "$2" "$folder/libvintrelscan.so" && cp "$3" "$folder/vintrel-sane" &&
    mkdir "$folder/sane" || exit 1
shift 3
export VINTREL_SCAN_COPY=1 SANE_CONFIG_DIR="$folder/sane"
timeout -s KILL 500 "$folder/tst_scan" "$@"
