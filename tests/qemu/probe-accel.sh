#!/usr/bin/env bash
# The harness's choice of accelerator on the paths that need no guest, so a
# machine with KVM still checks what a machine without it gets: each case
# runs `run.sh --probe-accel` and wants its status and its line.
set -uo pipefail
run=$(cd "$(dirname "$0")" && pwd)/run.sh
failed=0
as=()  # a command that runs the probe as another user
# expect STATUS PATTERN [VAR=VALUE...]: the probe's status and a line of its output.
expect() {
  local want=$1 pattern=$2 out rc
  shift 2
  out=$(cd / && "${as[@]}" env "$@" bash "$run" --probe-accel 2>&1)
  rc=$?
  if [ "$rc" -ne "$want" ] || ! grep -qE -- "$pattern" <<<"$out"; then
    echo "FAIL: $* -> status $rc (want $want), output:"
    printf '%s\n' "$out" | sed 's/^/  | /'
    echo "  (wanted a line matching: $pattern)"
    failed=1
  else
    echo "ok: $* -> $(grep -E -- "$pattern" <<<"$out" | head -n1)"
  fi
}
expect 0 '^accelerator: tcg \(no /nonexistent/kvm\)$' QEMU_HARNESS_KVM_NODE=/nonexistent/kvm
expect 0 '^accelerator: tcg \(QEMU_HARNESS_ACCEL=tcg asks for it\)$' QEMU_HARNESS_ACCEL=tcg
expect 2 'QEMU_HARNESS_ACCEL=kvm-please is not known' QEMU_HARNESS_ACCEL=kvm-please

# A node this user cannot open: root opens anything, so the case runs as
# nobody where nobody can read the harness.
node=$(mktemp)
if [ "$(id -u)" -ne 0 ]; then
  chmod 000 "$node"
elif command -v runuser >/dev/null && runuser -u nobody -- test -r "$run"; then
  chmod 600 "$node"
  as=(runuser -u nobody --)
else
  echo "skipped: the unreadable node (root here, and nobody cannot read $run)"
  rm -f "$node"
  node=
fi
if [ -n "$node" ]; then
  expect 0 "^accelerator: tcg \\(no permission: .* cannot read and write $node\\)$" QEMU_HARNESS_KVM_NODE="$node" TMPDIR=/tmp
  rm -f "$node"
fi
exit $failed
