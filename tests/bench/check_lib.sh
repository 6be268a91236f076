# Shared by the benchmark-script tests: records checks and gives a scratch
# folder that is removed when the test ends.
passes=0 failures=0
check() {
  local description=$1
  shift
  if "$@"; then echo "ok   - $description"; passes=$((passes + 1))
  else echo "FAIL - $description"; failures=$((failures + 1)); fi
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
