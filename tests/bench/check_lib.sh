# Shared by the benchmark-script tests: the shared checks, and a scratch
# folder that is removed when the test ends.
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/check.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
