#!/bin/sh
# The PPP data path over a real PPP link: builds, then runs one test case in a qemu VM whose
# kernel has PPP (this host's has not), with Debian's pppd at both ends of the simulated MODEM
# port. Needs root; the VM tool (ZV_VM_RUN, by default scripts/vm-run.sh) installs qemu
# and a kernel on first use. About a minute.
set -eu
cd "$(dirname "$0")/.."
vm=${ZV_VM_RUN:-$(pwd)/scripts/vm-run.sh}
[ -x "$vm" ] || { echo "test-ppp-vm: no VM tool at $vm (set ZV_VM_RUN)" >&2; exit 2; }
[ "$(id -u)" = 0 ] || { echo "test-ppp-vm: needs root (qemu, namespaces, pppd)" >&2; exit 2; }
command -v pppd >/dev/null || [ -x /usr/sbin/pppd ] || scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
ninja -C build integration_tests zv-pppd-standin zorvik-ril
exec "$vm" tests/vm/ppp-real.sh "$(pwd)/build"
