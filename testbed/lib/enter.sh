#!/bin/bash
# First process of the simulated Mac, started by testbed/run in fresh mount, network and PID
# namespaces. It builds the Mac's root file system on a tmpfs (host directories bound
# read-only, private /run, /tmp and /Library, the macOS tools laid over /usr/sbin), then runs the
# scenario chrooted into it. Everything it mounts lives and dies with this mount namespace.
#   enter.sh TESTBED_DIR BUILD_DIR KEEP_DIR|"" SCENARIO [ARG...]
set -euo pipefail
testbed=$1 build=$2 keep=$3
shift 3

# The new root lives on a tmpfs over /run, mounted in this namespace only: the host sees no
# directory of it, not even when the run is killed outright.
mount -t tmpfs -o mode=0755 testbed "/run"
root=/run/root
mkdir -m 0755 "$root"
mount -t tmpfs -o mode=0755 testbed-root "$root"
for entry in /*; do
  name=${entry#/}
  if [ -L "$entry" ]; then
    case $name in bin | sbin | lib | lib32 | lib64 | libx32) cp -P "$entry" "$root/$name" ;; esac
  elif [ -d "$entry" ]; then
    case $name in
      usr | etc | var | opt)
        mkdir "$root/$name"
        mount --rbind "$entry" "$root/$name"
        mount -o remount,bind,ro "$root/$name"
        ;;
    esac
  fi
done

mkdir -p "$root"/{proc,sys,dev,run,tmp,root,Library}
mount -t proc proc "$root/proc"
# A sysfs mounted from inside this network namespace shows its interfaces, not the host's.
mount -t sysfs sysfs "$root/sys"
mount --rbind /dev "$root/dev"
mount -t tmpfs -o mode=0755 run "$root/run"
mount -t tmpfs -o mode=1777 tmp "$root/tmp"
mount -t tmpfs -o mode=0700 home "$root/root"

# /var/run is /run on Debian, so these are the macOS paths /var/run/amneziawg and /Library/Logs.
mkdir -p "$root/run/amneziawg" "$root/Library/Logs" "$root/Library/PrivilegedHelperTools"
mount -t tmpfs -o mode=0755 amneziawg "$root/run/amneziawg"
mount -t tmpfs -o mode=0755 logs "$root/Library/Logs"

state=$root/run/testbed
mkdir -p "$state"/{lib,sbin,scenarios,daemons}
cp "$testbed"/lib/*.sh "$state/lib/"
cp "$testbed"/scenarios/*.sh "$state/scenarios/"
install -m 0755 "$testbed"/tools/{route,ifconfig,networksetup} "$state/sbin/"
install -m 0755 "$testbed/tools/amneziawg-go" "$state/daemons/real"
[ -x "$build/fake_awg" ] && install -m 0755 "$build/fake_awg" "$state/daemons/fake"
# The benchmark's client, which the bench scenario puts in the place of zorvikctl.
[ -x "$build/zorvik_bench_client" ] && install -m 0755 "$build/zorvik_bench_client" "$state/bench-client"
# What the abuse scenarios preload into the genuine zorvikctl (testing/front_abuse.cpp).
[ -f "$build/libzorvik_front_abuse.so" ] && install -m 0644 "$build/libzorvik_front_abuse.so" "$state/front_abuse.so"
: >"$state/journal"

# The helper and its client sit together, root-owned and writable by root alone, where macOS
# keeps privileged helpers; the helper admits only the zorvikctl beside it.
helpers=$root/Library/PrivilegedHelperTools
chmod 0755 "$helpers"
for binary in zorvik-helper zorvikctl; do
  [ -x "$build/$binary" ] && install -o root -g root -m 0755 "$build/$binary" "$helpers/$binary"
done
install -o root -g root -m 0755 "$state/daemons/real" "$helpers/amneziawg-go"

# The macOS tools at their macOS paths (/sbin is /usr/sbin here), over the host's own.
mount -t overlay testbed-sbin -o "lowerdir=$state/sbin:/usr/sbin" "$root/usr/sbin"

# Name resolution stays inside: a hosts file of our own, and a resolver that only asks loopback.
printf '127.0.0.1\tlocalhost\n10.200.0.2\tvpn.testbed.test\n' >"$state/hosts"
printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"$state/resolv.conf"
mount --bind "$state/hosts" "$root/etc/hosts"
mount --bind "$state/resolv.conf" "$root/etc/resolv.conf"

if [ -n "$keep" ]; then
  mkdir -p "$state/keep"
  mount --bind "$keep" "$state/keep"
fi

exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin HOME=/root LANG=C.UTF-8 \
  /bin/bash /run/testbed/lib/boot.sh "$@"
