# Runs tst_scan as a user's scans run: the test binary as a copy of itself in a
# scratch folder, beside a copy of the scanner library (acquired photos go to
# the program's own folder, where the library is also looked for first), with
# SANE configured from there.
# SANE's test device stops its reader thread with an asynchronous cancel,
# which can land inside malloc and leave a heap lock taken for the next scan in
# the same process; so each case runs in a process of its own, and a case that
# is stuck (even alone, under heavy load) is told apart from a failure and runs
# once more.
#   run.sh TST_SCAN LIBVINTRELSCAN [CASE]
set -u
folder=$(mktemp -d /tmp/vintrel-scan-XXXXXX)
trap 'rm -rf "$folder"' EXIT
cp "$1" "$folder/tst_scan" && cp "$2" "$folder/libvintrelscan.so" && mkdir "$folder/sane" || exit 1
export VINTREL_SCAN_COPY=1 SANE_CONFIG_DIR="$folder/sane"
cases=()
if [ $# -gt 2 ]; then
    cases=("$3")
else # "Class function tag words" a line
    while read -r _ function tag; do cases+=("$function${tag:+:$tag}"); done < <("$folder/tst_scan" -datatags)
fi
[ ${#cases[@]} -gt 0 ] || exit 1
failed=0
for c in "${cases[@]}"; do
    timeout -s KILL 120 "$folder/tst_scan" "$c"
    status=$?
    if [ $status -eq 137 ]; then
        echo "tst_scan: $c stuck in the SANE test backend; running it again" >&2
        timeout -s KILL 120 "$folder/tst_scan" "$c"
        status=$?
    fi
    [ $status -eq 0 ] || failed=1
done
exit $failed
