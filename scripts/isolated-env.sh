#!/bin/bash
# Runs a command inside a throw-away test environment:
#   - its own network namespace whose hosts file maps the update host (and the
#     fixture hosts with bad certificates) to loopback addresses,
#   - a test CA, trusted through a CA bundle bind-mounted over the system one,
#   - the fixture update server (HTTPS 443, HTTP 80) on a fresh fixture folder,
#   - Xvfb (or, with ZVU_SHOW_ON_DISPLAY=:N, the caller's local display :N),
#     and a fresh Wine prefix with one persistent wineserver.
# Everything is removed again when the command ends, however it ends.
#
#   isolated-env.sh <command> [args...]
#
# The command sees WINEPREFIX, DISPLAY, ZVU_FIXTURE_DIR (the server's folder)
# and ZVU_ENV_DIR (scratch space of this run). Its exit code is returned.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")

if [ "$(id -u)" != 0 ]; then
  echo "isolated-env.sh: must run as root (network namespaces, bind mounts, ports 80/443)" >&2
  exit 2
fi
[ $# -ge 1 ] || { echo "usage: isolated-env.sh <command> [args...]" >&2; exit 2; }

export ZVU_UPDATE_HOST=${ZVU_UPDATE_HOST:-update.zelko.example}
export ZVU_TEST_BADCERT_HOST=${ZVU_TEST_BADCERT_HOST:-badcert.zelko.example}
export ZVU_TEST_EXPIRED_HOST=${ZVU_TEST_EXPIRED_HOST:-expired.zelko.example}

ns="zvu-$$-$RANDOM"
work=$(mktemp -d "/tmp/$ns.XXXXXX")
chmod 755 "$work"

cleanup() {
  ip netns pids "$ns" 2>/dev/null | xargs -r kill -9 2>/dev/null || true
  ip netns del "$ns" 2>/dev/null || true
  rm -rf "/etc/netns/$ns"
  if [ -z "${ZVU_KEEP_ENV:-}" ]; then rm -rf "$work"; else echo "kept $work" >&2; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$root/tests/fixtures/make-certs.sh" "$work/certs" "$ZVU_UPDATE_HOST" \
  "$ZVU_TEST_BADCERT_HOST" "$ZVU_TEST_EXPIRED_HOST"
cat /etc/ssl/certs/ca-certificates.crt "$work/certs/ca.pem" > "$work/ca-bundle.crt"

ip netns add "$ns"
mkdir -p "/etc/netns/$ns"
cat > "/etc/netns/$ns/hosts" <<HOSTS
127.0.0.1 localhost
127.0.0.1 $ZVU_UPDATE_HOST
127.0.0.2 $ZVU_TEST_BADCERT_HOST
127.0.0.3 $ZVU_TEST_EXPIRED_HOST
HOSTS

export ZVU_ENV_DIR=$work
set +e
ip netns exec "$ns" unshare -m "$here/isolated-env-inside.sh" "$@"
rc=$?
set -e
exit $rc
