#!/usr/bin/env bash
# Runs one command in a throwaway x86-64 virtual machine, for machines whose
# kernel refuses 32-bit programs and so cannot start 32-bit Wine.
#   tools/x86-vm.sh CMD [ARGS...]     e.g. tools/x86-vm.sh bash -c 'cd build/x86 && ctest'
#   tools/x86-vm.sh --fetch-kernel    only fetch the guest kernel (tools/setup.sh calls it)
#
# The guest boots Debian's own kernel (package linux-image-amd64, unpacked
# under build/vm, never installed for the host to boot) with a small busybox
# initramfs, mounts the host's / read-only over virtio-9p and switches into
# it, so the very same Debian Wine runs there. The checkout (sources and
# build/x86, not the Wine prefixes) is copied into a tmpfs at the same path,
# since Windows programs fault when started straight from 9p. The command runs
# there with the caller's environment and working directory; its output
# streams back over the serial console and its exit status becomes ours.
# Files it writes under build/ (logs, screenshots; not the prefixes) come back
# into the checkout through a second, writable 9p export.
#
# Environment:
#   KS_VM_ACCEL   auto (default: KVM if a short probe boot shows it works, else TCG), kvm, tcg
#   KS_VM_CPUS    virtual CPUs (default 2)
#   KS_VM_MEM     guest memory (default 6G)
#   KS_VM_BUILDS  build/ folders copied in (default "x86")
#   KS_VM_TIMEOUT seconds before the VM is stopped (default 0: no limit)
#   KS_VM_PREFIXES Wine prefixes (paths under the checkout, e.g.
#                 "build/wine-x86 build/wine-x86-e2e") made before the command
#                 from one wineboot; the first gets a `wineserver -p` for the
#                 whole run
# Nothing on the host is changed: no binfmt_misc, no kernel for the host.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
vmdir=$root/build/vm
# The kernel's own modules for virtio-9p, in the order they depend on each other.
modules="virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci netfs fscache 9pnet 9pnet_virtio 9p"

say() { echo "x86-vm: $*" >&2; }
die() { say "$*"; exit 125; }

# ---------------------------------------------------------------- host side

# Unpacks the kernel and its modules from Debian's package into build/vm/kernel.
# `apt-get download` + `dpkg-deb -x` leaves the host's boot set-up untouched.
fetch_kernel() {
  [ -f "$vmdir/kernel/vmlinuz" ] && return 0
  local pkg deb tmp
  pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -1)
  [ -n "$pkg" ] || die "apt-cache knows no linux-image-amd64 (run apt-get update)"
  say "fetching $pkg for the guest (not installed on the host)"
  tmp=$vmdir/kernel.tmp
  rm -rf "$tmp"; mkdir -p "$tmp/deb"
  # _apt cannot write into a root-owned build folder; the download is still verified.
  (cd "$tmp/deb" && apt-get download -q -o APT::Sandbox::User=root "$pkg" >/dev/null) ||
    die "apt-get download $pkg failed"
  deb=$(ls "$tmp"/deb/*.deb)
  mkdir -p "$tmp/x"
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$tmp/x" --wildcards './boot/vmlinuz-*' \
    './lib/modules/*/kernel/drivers/virtio/*' './lib/modules/*/kernel/fs/9p/*' \
    './lib/modules/*/kernel/fs/netfs/*' './lib/modules/*/kernel/fs/fscache/*' \
    './lib/modules/*/kernel/net/9p/*'
  mkdir -p "$tmp/kernel"
  local m f
  for m in $modules; do
    f=$(find "$tmp/x/lib/modules" -name "$m.ko*" | head -1)
    [ -n "$f" ] || die "$pkg has no module $m"
    cp "$f" "$tmp/kernel/"
  done
  cp "$tmp"/x/boot/vmlinuz-* "$tmp/kernel/vmlinuz"
  echo "$pkg" > "$tmp/kernel/package"
  rm -rf "$vmdir/kernel"; mv "$tmp/kernel" "$vmdir/kernel"; rm -rf "$tmp"
}

# The first stage of the guest: load the 9p modules, mount the host's root
# read-only and hand over to this script's --guest part inside it.
write_init() {
  cat >"$1" <<EOF
#!/bin/busybox sh
PATH=/bin
busybox mount -t proc proc /proc
busybox mount -t sysfs sys /sys
busybox mount -t devtmpfs dev /dev
for m in $modules; do
  busybox insmod /lib/modules/\$m.ko* || echo "x86-vm: insmod \$m failed"
done
stage2=
for a in \$(busybox cat /proc/cmdline); do
  case \$a in
    ks.stage2=*) stage2=\${a#ks.stage2=} ;;
    ks.probe) echo ks-probe-ok; busybox poweroff -f ;;
  esac
done
busybox mkdir -p /newroot
busybox mount -t 9p -o ro,trans=virtio,version=9p2000.L,msize=512000,cache=loose hostroot /newroot ||
  { echo "x86-vm: cannot mount the host's root"; busybox poweroff -f; }
busybox mount --move /dev /newroot/dev
busybox mount --move /proc /newroot/proc
busybox mount --move /sys /newroot/sys
exec busybox switch_root /newroot /bin/bash "\$stage2" --guest
EOF
  chmod +x "$1"
}

# The initramfs: busybox-static, the modules and the first stage. Remade when
# this script or the kernel is newer than it.
make_initramfs() {
  local img=$vmdir/initramfs.cpio
  if [ -f "$img" ] && [ "$img" -nt "$0" ] && [ "$img" -nt "$vmdir/kernel/vmlinuz" ]; then return 0; fi
  # The initramfs has no libraries: only the static busybox runs there.
  dpkg-query -W -f='${Status}' busybox-static 2>/dev/null | grep -q "install ok installed" ||
    die "busybox-static is missing (tools/setup.sh installs it)"
  local t=$vmdir/initramfs.tmp
  rm -rf "$t"; mkdir -p "$t/bin" "$t/lib/modules" "$t/proc" "$t/sys" "$t/dev"
  cp /bin/busybox "$t/bin/busybox"
  cp "$vmdir"/kernel/*.ko* "$t/lib/modules/"
  write_init "$t/init"
  (cd "$t" && find . | busybox cpio -o -H newc 2>/dev/null) >"$img.new"
  mv "$img.new" "$img"; rm -rf "$t"
}

# Whether KVM boots this kernel. /dev/kvm can be there and still unusable
# (some nested hosts offer a KVM that runs only specially built guests, and
# the guest then hangs without a word), so a short boot decides, once per
# host boot.
kvm_works() {
  [ -r /dev/kvm ] && [ -w /dev/kvm ] || return 1
  local cache=$vmdir/kvm-probe boot
  boot=$(cat /proc/sys/kernel/random/boot_id 2>/dev/null || echo unknown)
  if [ ! -f "$cache" ] || [ "$(head -1 "$cache")" != "$boot" ]; then
    local verdict=no
    if timeout 20 qemu-system-x86_64 -nodefaults -no-user-config -no-reboot -display none \
        -accel kvm -cpu host -m 512M -kernel "$vmdir/kernel/vmlinuz" -initrd "$vmdir/initramfs.cpio" \
        -append "console=ttyS0 quiet panic=-1 ks.probe" -serial stdio </dev/null 2>/dev/null |
        grep -q ks-probe-ok; then verdict=yes; fi
    printf '%s\n%s\n' "$boot" "$verdict" >"$cache"
  fi
  [ "$(sed -n 2p "$cache")" = yes ]
}

# KVM when it works here; otherwise TCG, with one host thread per virtual CPU.
accel_args() {
  local want=${KS_VM_ACCEL:-auto}
  case $want in
    auto) if kvm_works; then want=kvm; else want=tcg; fi ;;
    kvm|tcg) ;;
    *) die "KS_VM_ACCEL must be auto, kvm or tcg, not $want" ;;
  esac
  if [ "$want" = kvm ]; then
    echo "-accel kvm -cpu host"
  else
    # -cpu max: the 32-bit iret of Wine faults under TCG (SMAP); the default model works.
    echo "-accel tcg,thread=multi,tb-size=512"
  fi
}

# What the guest needs of the checkout, as one tar file: read sequentially
# over 9p it arrives far faster than file by file.
pack_checkout() {
  local out=$1 b dirs=()
  for b in ${KS_VM_BUILDS:-x86}; do
    [ -d "$root/build/$b" ] && dirs+=("build/$b")
  done
  # The git history (a few MB) names the commit that packages are built from,
  # and the object files (about 14 MB) spare the guest a rebuild on an
  # emulated CPU when a check builds the package.
  tar -C "$root" -cf "$out" --exclude=./build . ${dirs[@]+"${dirs[@]}"}
}

# The caller's environment, minus what names the host's desktop or session.
write_env() {
  local n
  for n in $(compgen -e); do
    case $n in
      DISPLAY|XAUTHORITY|WAYLAND_DISPLAY|XDG_RUNTIME_DIR|DBUS_*|SSH_*|TMUX*|PWD|OLDPWD|SHLVL|_) continue ;;
      KS_VM_ACCEL|KS_VM_CPUS|KS_VM_MEM|KS_VM_TIMEOUT|KS_VM_BUILDS|TERM|COLUMNS|LINES) continue ;;
    esac
    printf 'export %s=%q\n' "$n" "${!n}"
  done
  printf 'export TERM=dumb\n'
}

host_main() {
  [ $# -gt 0 ] || { sed -n '2,/^set /p' "$0" | grep '^#' >&2; exit 2; }
  case $root in *[[:space:]]*) die "the checkout's path must not contain spaces: $root" ;; esac
  command -v qemu-system-x86_64 >/dev/null || die "qemu-system-x86_64 is missing (tools/setup.sh installs it)"
  mkdir -p "$vmdir"
  fetch_kernel
  make_initramfs

  local status=125 t0 q qemu
  xfer=$(mktemp -d "$vmdir/run.XXXXXX")
  trap 'rm -rf "$xfer"' EXIT
  t0=$(date +%s.%N)
  pack_checkout "$xfer/checkout.tar"
  write_env >"$xfer/env.sh"
  { printf 'cd %q 2>/dev/null || cd %q\n' "$PWD" "$root"; printf 'exec'; printf ' %q' "$@"; echo; } >"$xfer/command.sh"
  echo "$t0" >"$xfer/host-start"

  local accel; accel=$(accel_args)
  say "booting ($accel, ${KS_VM_CPUS:-2} CPUs, ${KS_VM_MEM:-6G})"
  q=(qemu-system-x86_64 -nodefaults -no-user-config -no-reboot -display none
     $accel -smp "${KS_VM_CPUS:-2}" -m "${KS_VM_MEM:-6G}"
     -kernel "$vmdir/kernel/vmlinuz" -initrd "$vmdir/initramfs.cpio"
     -append "console=ttyS0 quiet loglevel=3 panic=-1 mitigations=off ks.stage2=$root/tools/x86-vm.sh ks.xfer=$xfer"
     -chardev stdio,id=con,signal=off -serial chardev:con
     -virtfs "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap"
     -virtfs "local,path=$xfer,mount_tag=xfer,security_model=none,multidevs=remap")
  if [ "${KS_VM_TIMEOUT:-0}" != 0 ]; then q=(timeout "$KS_VM_TIMEOUT" "${q[@]}"); fi
  # Stopped from outside (a test runner's timeout, Ctrl-C), the VM goes too.
  "${q[@]}" </dev/null &
  qemu=$!
  trap 'kill "$qemu" 2>/dev/null; exit 143' TERM INT HUP
  wait "$qemu" || say "qemu ended with status $?"

  if [ -f "$xfer/results.tar" ]; then
    tar -C "$root" -xf "$xfer/results.tar" --no-same-owner
  fi
  if [ -f "$xfer/status" ]; then
    status=$(cat "$xfer/status")
  else
    say "the guest ended without an exit status"
  fi
  say "done in $(awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN { printf "%.0f", b - a }') s, status $status"
  return "$status"
}

# --------------------------------------------------------------- guest side

# The shared root is read-only: everything that must be written lives on tmpfs.
guest_mounts() {
  local d
  for d in /tmp /var/tmp /run /root; do mount -t tmpfs -o mode=1777 tmpfs "$d"; done
  chmod 700 /root
  mkdir -p /dev/pts /dev/shm
  mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
  mount -t tmpfs -o mode=1777 tmpfs /dev/shm
  # bash's process substitution needs /dev/fd.
  ln -sf /proc/self/fd /dev/fd
  ln -sf /proc/self/fd/0 /dev/stdin
  ln -sf /proc/self/fd/1 /dev/stdout
  ln -sf /proc/self/fd/2 /dev/stderr
  mkdir -p /run/ks-xfer
  mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 xfer /run/ks-xfer
  # The stand-in's parser editors answer over the loopback interface.
  ip link set lo up 2>/dev/null || busybox ip link set lo up
}

guest_uptime() { cut -d' ' -f1 /proc/uptime; }
since() { awk -v a="$1" -v b="$(guest_uptime)" 'BEGIN { printf "%.0f", b - a }'; }

# Creating a 32-bit prefix costs about a minute without KVM: the prefixes
# named in KS_VM_PREFIXES (paths under the checkout) come from one wineboot,
# the others as copies of the fresh one.
seed_prefixes() {
  local first= p t
  t=$(guest_uptime)
  for p in ${KS_VM_PREFIXES:-}; do
    p=$root/$p
    if [ -z "$first" ]; then
      mkdir -p "$(dirname "$p")"
      WINEPREFIX=$p WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
        /usr/lib/wine/wine wineboot -i >/dev/null 2>&1
      WINEPREFIX=$p timeout 60 wineserver -w
      [ -f "$p/system.reg" ] || { say "wineboot failed for $p"; return 1; }
      first=$p
    elif [ ! -e "$p" ]; then
      cp -a "$first" "$p"
    fi
  done
  [ -z "$first" ] || say "prefixes ${KS_VM_PREFIXES} made in $(since "$t") s"
}

guest_finish() {
  echo "$1" >/run/ks-xfer/status
  sync
  echo 1 >/proc/sys/kernel/printk
  echo o >/proc/sysrq-trigger
  sleep 10 2>/dev/null
}

guest_main() {
  export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
  guest_mounts
  # The console is a serial line: no \r before each \n.
  stty -onlcr -echo </dev/console 2>/dev/null || true
  say "guest up after $(guest_uptime) s"

  # Windows programs must run from tmpfs, not from 9p: copy the checkout there.
  local t status=0 results
  t=$(guest_uptime)
  # A checkout under /tmp or /root is hidden by the guest's own tmpfs there.
  mkdir -p "$root"
  mount -t tmpfs -o size=85% tmpfs "$root"
  tar -C "$root" -xf /run/ks-xfer/checkout.tar --no-same-owner
  touch /run/ks-stamp
  say "checkout copied in $(awk -v a="$t" -v b="$(guest_uptime)" 'BEGIN { printf "%.1f", b - a }') s"

  set +e
  . /run/ks-xfer/env.sh
  # A crashing program must not wait for a debugger nobody attaches.
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=};winedbg.exe=d"
  seed_prefixes
  # One Wine server for the whole run, in the first prefix. Only for a prefix
  # that exists: wineboot under a persistent server waits for it to end.
  local prefix=
  set -- ${KS_VM_PREFIXES:-}
  if [ $# -gt 0 ]; then
    prefix=$root/$1
    WINEPREFIX=$prefix wineserver -p
    WINEPREFIX=$prefix wine cmd /c exit 0 >/dev/null 2>&1
  fi
  t=$(guest_uptime)
  bash /run/ks-xfer/command.sh </dev/null
  status=$?
  say "command ended after $(awk -v a="$t" -v b="$(guest_uptime)" 'BEGIN { printf "%.0f", b - a }') s with status $status"
  [ -z "$prefix" ] || WINEPREFIX=$prefix wineserver -k 2>/dev/null

  # Whatever the command wrote under build/ comes back, except Wine prefixes.
  results=$(cd "$root" && find build -path 'build/wine-*' -prune -o -path build/vm -prune \
    -o -type f -newer /run/ks-stamp -print | wc -l)
  if [ "$results" -gt 0 ]; then
    (cd "$root" && find build -path 'build/wine-*' -prune -o -path build/vm -prune \
      -o -type f -newer /run/ks-stamp -print0 | tar --null -T - -cf /run/ks-xfer/results.tar)
  fi
  guest_finish "$status"
}

if [ "${1:-}" = --guest ]; then
  guest_main
elif [ "${1:-}" = --fetch-kernel ]; then
  mkdir -p "$vmdir"; fetch_kernel
else
  host_main "$@"
fi
