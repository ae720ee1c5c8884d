#!/bin/sh
# Runs the validation suite and holds its failures against the list of known
# ones. Fails when a check fails that is not on the list, and when a listed
# check passes or is missing (so that the list stays true).
# usage: validate.sh quarlin checks.txt outdir known_failures.txt
set -u
bin=$1 checks=$2 out=$3 known=$4
log=$(mktemp) || exit 1
trap 'rm -f "$log" "$log.fail" "$log.pass" "$log.known"' EXIT

"$bin" -check "$checks" "$out" >"$log"
rc=$?
cat "$log"
if [ "$rc" -gt 1 ]; then
    echo "validate: quarlin -check ended with exit code $rc"
    exit 1
fi

# Verdict lines as "run key [source]" ("no result" in the place of the source).
ids() {
    awk -v verdict="$1" '$1 == verdict {
        i = index($0, " ["); j = index($0, "] ")
        src = (i && j > i) ? substr($0, i + 1, j - i) : "no result"
        print $2, $3, src
    }' "$log"
}
ids FAIL >"$log.fail"
ids PASS >"$log.pass"
grep -v '^#' "$known" | grep -v '^[[:space:]]*$' >"$log.known"

status=0
while IFS= read -r c; do
    if ! grep -qxF -e "$c" "$log.known"; then
        echo "validate: unexpected failure: $c"
        status=1
    fi
done <"$log.fail"
while IFS= read -r c; do
    if grep -qxF -e "$c" "$log.pass"; then
        echo "validate: now passes, take it off $known: $c"
        status=1
    elif ! grep -qxF -e "$c" "$log.fail"; then
        echo "validate: listed in $known but not in $checks: $c"
        status=1
    fi
done <"$log.known"
nfail=$(wc -l <"$log.fail" | tr -d ' ')
if [ "$status" -eq 0 ]; then
    echo "validate: every failing check ($nfail) is a known failure, see $known"
fi
exit "$status"
