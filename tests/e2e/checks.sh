# The checks of the end-to-end runs, sourced by run_e2e.sh and run_load.sh:
# each check prints "ok" or "FAIL" with what was expected and what came, and
# counts the failures in `failures`, which the run's exit status reports.

failures=0

check() {  # check <what> <expected> <actual>
  if [[ "$2" == "$3" ]]; then
    echo "ok   $1"
  else
    printf 'FAIL %s\n  expected: %s\n  got:      %s\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}
