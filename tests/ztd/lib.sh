# Shared pieces of the ztd end-to-end tests; sourced after ZTD is set.
# T: a scratch directory removed on exit; check DESCRIPTION EXPECTED ACTUAL
# counts failures in $fails; run ARGS gives ztd's exit code with its standard
# output in $T/out and its standard error in $T/err; finish ends the test.
T="$(mktemp -d)"
trap 'rm -rf "$T"' EXIT
fails=0
check() {
  if [ "$2" != "$3" ]; then echo "FAIL: $1"; echo "  expected: $2"; echo "  actual:   $3"; fails=$((fails+1)); fi
}
run() { "$ZTD" "$@" >"$T/out" 2>"$T/err"; echo $?; }
