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

# The interface the IPv6 tests watch: v0 of a veth pair, with a link-local,
# a unique-local and a global address (only the last may ever be chosen).
make_test_interface() {  # run-function
  local run=$1
  $run ip link set lo up
  $run ip link add v0 type veth peer name v1
  $run ip link set v0 up
  $run ip link set v1 up
  $run ip -6 addr add fe80::10/64 dev v0 nodad
  $run ip -6 addr add fd00::10/64 dev v0 nodad
  $run ip -6 addr add 2001:db8:1::10/64 dev v0 nodad
}
