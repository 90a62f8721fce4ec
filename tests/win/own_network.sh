# Sourced by the tests that need a network namespace of their own (they
# change its interfaces): runs the calling script again inside a fresh one.
# Wine's network driver runs under the wineserver, so one still running
# outside is stopped first and the prefix starts anew in there. A namespace
# that cannot be made is a failure, never a skip.
enter_own_network() {  # test-name script [arguments...]
  [ "${CORVANE_IPV6_NAMESPACE:-}" = inside ] && return 0
  local name=$1
  shift
  if ! unshare -n true; then
    echo "$name: cannot make a network namespace (root needed)"
    exit 1
  fi
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  CORVANE_IPV6_NAMESPACE=inside unshare -n -- "$@"
  exit $?
}
