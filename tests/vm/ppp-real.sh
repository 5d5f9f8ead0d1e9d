#!/bin/sh
# Runs inside a VM with a PPP kernel (scripts/test-ppp-vm.sh): the PPP data path against real
# pppd at both ends of the simulated MODEM port. $1 is the build directory; with $2 (a directory
# shared with the host) the output is also kept there as it comes, in ppp-real.log.
set -eu
build=${1:?usage: ppp-real.sh BUILD_DIR}
# Debian's /etc/ppp/options asks for authentication, modem lines and a lock file; the link here
# is a pseudo-terminal between two pppd on one machine. Its ip-up script hands the DNS servers
# to the library's property store, as the platform's does (the test writes it).
printf 'noauth\nlocal\nip-up-script /run/zv-ppp-ip-up\n' > /run/zv-ppp-options
printf '#!/bin/sh\nexit 0\n' > /run/zv-ppp-ip-up
chmod 755 /run/zv-ppp-ip-up
mount --bind /run/zv-ppp-options /etc/ppp/options
# usepeerdns would rewrite the shared /etc/resolv.conf through ip-up.d: give it a private copy.
cp /etc/resolv.conf /run/zv-resolv.conf 2>/dev/null || : > /run/zv-resolv.conf
mount --bind /run/zv-resolv.conf /etc/resolv.conf
export ZV_REAL_PPPD=1 ZV_PPP_IP_UP=/run/zv-ppp-ip-up ZORVIK_TIME_SCALE=1
log=${2:+$2/ppp-real.log}
log=${log:-/tmp/ppp-real.log}
if [ -n "${2:-}" ]; then
    # While it runs: the library's log and the process list, for a run that does not end.
    while sleep 3; do
        for f in /tmp/zvril-test-*/ril.log; do [ -f "$f" ] && cp "$f" "$2/$(basename "$(dirname "$f")").log"; done
        ps -eo pid,ppid,stat,wchan:20,args > "$2/ps.txt" 2>/dev/null
    done &
fi
set +e
stdbuf -oL -eL "$build/bin/integration_tests" --gtest_filter='PsPpp.RealPppdLink' > "$log" 2>&1
rc=$?
cat "$log"
exit $rc
