#!/usr/bin/env bash
# tests/qemu/run.sh [--build DIR] [--work DIR] [--keep] [--no-boot]
# tests/qemu/run.sh --probe-accel
#
# Checks the real drive path (SG_IO on /dev/srN) against QEMU's emulated ATAPI
# drive: boots a small Linux guest with three images as its CD/DVD drives, runs
# tessal-cli inside against the drive nodes, runs the same commands on the host
# against the image files through the virtual drive, and compares the two.
#
# Installs what it lacks from Debian's packages (qemu-system-x86, busybox-static,
# cpio, genisoimage, gddrescue for ddrescuelog; a Debian kernel unpacked into the work folder when the
# running kernel's image and modules are not in /boot and /lib/modules).
# QEMU_HARNESS_FULL=1 also scans the DVD-sized image (minutes more).
#
# The accelerator: KVM when its node (QEMU_HARNESS_KVM_NODE, default /dev/kvm)
# is there, readable and writable, and a short trial boot under KVM comes up
# within QEMU_HARNESS_KVM_TRIAL_SECONDS (default 20); software emulation (TCG)
# otherwise, or when QEMU_HARNESS_ACCEL=tcg asks for it. The choice and its
# reason are logged; --probe-accel prints them and stops, which checks the
# choice without a guest run (QEMU_HARNESS_KVM_NODE=/nonexistent hides the
# node on a machine that has one). QEMU_HARNESS_QEMU names the QEMU binary.
# --no-boot compares again with the guest results an earlier run left in --work.
# Exit status: 0 when every comparison holds, 1 when one does not, 2 when the
# harness itself could not run (every such stop says why).
set -Eeuo pipefail

here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=${TESSAL_BUILD_DIR:-$src/build}
work=
keep=0
boot=1
probe=0
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --no-boot) boot=0; shift ;;
    --probe-accel) probe=1; shift ;;
    *) echo "usage: $0 [--build DIR] [--work DIR] [--keep] [--no-boot] | --probe-accel" >&2; exit 2 ;;
  esac
done
log() { echo "qemu harness: $*"; }
# A step that fails unexpectedly stops the harness with status 2 and says
# where: status 1 is kept for a comparison that does not hold.
trap 'rc=$?; log "stopped: \"$BASH_COMMAND\" failed with status $rc (line $LINENO)" >&2; exit 2' ERR
qemu=${QEMU_HARNESS_QEMU:-qemu-system-x86_64}
kvm_node=${QEMU_HARNESS_KVM_NODE:-/dev/kvm}
trial_seconds=${QEMU_HARNESS_KVM_TRIAL_SECONDS:-20}
case "${QEMU_HARNESS_ACCEL:-}" in
  "" | tcg) ;;
  *) log "QEMU_HARNESS_ACCEL=${QEMU_HARNESS_ACCEL} is not known (only tcg forces a choice)" >&2; exit 2 ;;
esac
if [ $probe -eq 0 ]; then
  build=$(cd "$build" && pwd)
  cli=$build/bin/tessal-cli
  makeudf=$build/tests/qemu_make_udf
  for f in "$cli" "$makeudf"; do
    [ -x "$f" ] || { log "$f is not built" >&2; exit 2; }
  done
fi
if [ -z "$work" ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/tessal-qemu.XXXXXX")
  if [ $keep -eq 0 ]; then
    trap 'rm -rf "$work"' EXIT
    trap 'exit 2' INT TERM
  fi
else
  mkdir -p "$work"
fi
cache=$build/qemu-cache  # the unpacked kernel, kept between runs
[ -d "$build" ] || cache=$work/qemu-cache
t0=$(date +%s)

# ------------------------------------------------------------------ accelerator
# The choice that needs no guest: a forced TCG, no node, or a node this user
# cannot open. Sets accel and accel_reason; fails when a trial boot must decide.
accel_without_trial() {
  accel=(-accel tcg)
  if [ "${QEMU_HARNESS_ACCEL:-}" = tcg ]; then
    accel_reason="QEMU_HARNESS_ACCEL=tcg asks for it"
  elif ! [ -e "$kvm_node" ]; then
    accel_reason="no $kvm_node"
  elif ! [ -r "$kvm_node" ] || ! [ -w "$kvm_node" ]; then
    accel_reason="no permission: $(id -un) cannot read and write $kvm_node"
  else
    return 1
  fi
}
report_accel() {
  echo "accelerator: ${accel[1]} ($accel_reason)"
}
if [ $probe -eq 1 ] && accel_without_trial; then
  report_accel
  exit 0
fi

# ------------------------------------------------------------------ packages
need=()
for p in qemu-system-x86 busybox-static cpio genisoimage kmod gddrescue; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  log "installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

command -v "$qemu" >/dev/null || { log "cannot run QEMU: $qemu is not installed" >&2; exit 2; }
"$qemu" --version >/dev/null 2>&1 || { log "cannot run QEMU: $qemu --version fails" >&2; exit 2; }
[ -x /bin/busybox ] || { log "cannot build the guest: /bin/busybox is missing" >&2; exit 2; }

# ------------------------------------------------------------------ kernel
# The running kernel when its image and modules are readable, else Debian's.
kver=$(uname -r)
kernel=/boot/vmlinuz-$kver
modroot=/lib/modules/$kver
if ! [ -r "$kernel" ] || ! ls "$modroot"/kernel/drivers/scsi/sr_mod.ko* >/dev/null 2>&1; then
  pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
  if [ -z "$pkg" ]; then
    apt-get update -qq
    pkg=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
  fi
  [ -n "$pkg" ] || { log "no Debian kernel package found"; exit 2; }
  if ! [ -d "$cache/$pkg" ]; then
    log "unpacking $pkg"
    rm -rf "$cache/dl" && mkdir -p "$cache/dl"
    (cd "$cache/dl" && apt-get download "$pkg" >/dev/null 2>&1 || { apt-get update -qq && apt-get download "$pkg" >/dev/null; })
    rm -rf "$cache/$pkg.tmp" && mkdir -p "$cache/$pkg.tmp"
    dpkg -x "$cache"/dl/*.deb "$cache/$pkg.tmp"
    rm -rf "$cache/dl"
    # Keep the kernel and the storage drivers only: the rest is hundreds of MB.
    for m in "$cache/$pkg.tmp"/lib/modules/*; do
      find "$m/kernel" -mindepth 1 -maxdepth 1 ! -name drivers -exec rm -rf {} +
      find "$m/kernel/drivers" -mindepth 1 -maxdepth 1 ! -name ata ! -name scsi ! -name cdrom -exec rm -rf {} +
    done
    rm -rf "$cache/$pkg.tmp/usr"
    mv "$cache/$pkg.tmp" "$cache/$pkg"
  fi
  kernel=$(ls "$cache/$pkg"/boot/vmlinuz-* | head -n1)
  modroot=$(ls -d "$cache/$pkg"/lib/modules/* | head -n1)
fi
[ -r "$kernel" ] || { log "cannot boot a guest: no readable kernel ($kernel)" >&2; exit 2; }
qemu_base=("$qemu" -m 1024 -nographic -no-reboot -kernel "$kernel")

# KVM only where it really runs a guest: on some hosts the node opens but
# guests hang or QEMU aborts, so a guest that only prints a line and powers
# off must come back within the trial's time.
accel_by_trial() {
  local probe=$work/probe out rc tb
  rm -rf "$probe" && mkdir -p "$probe/bin"
  cp /bin/busybox "$probe/bin/busybox"
  printf '#!/bin/busybox sh\n/bin/busybox echo KVM-PROBE-OK\n/bin/busybox poweroff -f\n' > "$probe/init"
  chmod +x "$probe/init"
  (cd "$probe" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/probe.gz"
  tb=$(date +%s)
  rc=0
  out=$(timeout "$trial_seconds" "${qemu_base[@]}" -accel kvm -initrd "$work/probe.gz" \
          -append "console=ttyS0 panic=-1 quiet" -serial mon:stdio < /dev/null 2>&1) || rc=$?
  accel=(-accel tcg)
  if grep -q KVM-PROBE-OK <<<"$out"; then
    accel=(-accel kvm)
    accel_reason="a trial boot under KVM came up in $(( $(date +%s) - tb )) s"
  elif [ $rc -eq 124 ]; then
    accel_reason="a trial boot under KVM hung (no answer within $trial_seconds s)"
  else
    accel_reason="a trial boot under KVM failed (qemu exit $rc: $(grep -v '^[[:space:]]*$' <<<"$out" | tail -n1 | tr -d '\r'))"
  fi
}
pick_accel() {
  accel_without_trial || accel_by_trial
  log "$(report_accel)"
}
if [ $probe -eq 1 ]; then
  accel_by_trial
  report_accel
  exit 0
fi

# ------------------------------------------------------------------ images
# bad: the ISO image again, with sectors the guest's drive fails to read
# (QEMU's blkdebug driver answers them with an I/O error) and a ddrescue
# mapfile beside it that marks the same sectors unreadable for the host.
tags=(iso udf dvd bad)
volumes=(iso udf dvd)
bad_sectors=(60 61 200)
declare -A image=([iso]=$work/iso.iso [udf]=$work/udf.iso [dvd]=$work/dvd.iso [bad]=$work/bad.iso)
declare -A node=([iso]=sr0 [udf]=sr1 [dvd]=sr2 [bad]=sr3)
make_images() {
  log "making images in $work"
  local tree=$work/tree
  rm -rf "$tree" && mkdir -p "$tree/DOCS/Notes" "$tree/DATA/Deep/Deeper" "$tree/Mixed Case Folder"
  echo "ISO 9660 volume for the drive run" > "$tree/README.TXT"
  printf 'plain text\n' > "$tree/DOCS/plain.txt"
  printf 'a note with a long Joliet name\n' > "$tree/DOCS/Notes/A note with a rather long name.txt"
  "$makeudf" --bytes 123457 1 "$tree/DATA/random.bin"
  "$makeudf" --bytes 40960 2 "$tree/DATA/Deep/Deeper/exact-20-sectors.bin"
  : > "$tree/DATA/empty.dat"
  "$makeudf" --bytes 3000 3 "$tree/Mixed Case Folder/Grüße.bin"
  genisoimage -quiet -J -r -V QEMUISO -o "$work/iso.iso" "$tree" 2>/dev/null
  "$makeudf" "$work/udf.iso"
  # A DVD-sized image: QEMU reports a DVD profile for media over 737280000
  # bytes, and so does the virtual drive; the volume itself stays small.
  genisoimage -quiet -J -r -V QEMUDVD -o "$work/dvd.iso" "$tree/DOCS" "$tree/DATA" 2>/dev/null
  truncate -s 800000000 "$work/dvd.iso"
  cp "$work/iso.iso" "$work/bad.iso"
  local size pos=0 lba
  size=$(stat -c %s "$work/bad.iso")
  {
    echo "# Mapfile. Created by the drive run"
    echo "0x00000000  +  1"
    for lba in "${bad_sectors[@]}"; do
      [ $((lba * 2048)) -gt $pos ] && printf '0x%08X  0x%08X  +\n' $pos $((lba * 2048 - pos))
      printf '0x%08X  0x%08X  -\n' $((lba * 2048)) 2048
      pos=$(((lba + 1) * 2048))
    done
    printf '0x%08X  0x%08X  +\n' $pos $((size - pos))
  } > "$work/bad.iso.map"
  for lba in "${bad_sectors[@]}"; do
    printf '[inject-error]\nevent = "read_aio"\nerrno = "5"\nsector = "%d"\n\n' $((lba * 4))
  done > "$work/blkdebug.conf"
}
if [ $boot -eq 1 ] || ! [ -e "$work/dvd.iso" ]; then
  boot=1
  make_images
fi

# ------------------------------------------------------------------ command list
# The host runs tree first: its nodes give the ls commands, its track ends the
# sectors worth reading.
list=$work/commands
hostout=$work/host
rm -rf "$hostout" && mkdir -p "$hostout"
export TESSAL_NO_DRIVES=1
{
  printf 'devices\t-\tdevices\n'
  for t in "${volumes[@]}"; do
    for c in info toc tree vol devinfo; do printf '%s.%s\t%s\t%s\t@SRC@\n' "$t" "$c" "$t" "$c"; done
    # A scan reads every sector: about six minutes for the DVD-sized image
    # under software emulation, so it runs there only when asked.
    if [ "$t" != dvd ] || [ "${QEMU_HARNESS_FULL:-0}" = 1 ]; then printf '%s.scan\t%s\tscan\t@SRC@\n' "$t" "$t"; fi
    printf '%s.info-json\t%s\t--json\tinfo\t@SRC@\n' "$t" "$t"
    printf '%s.tree-json\t%s\t--json\ttree\t@SRC@\n' "$t" "$t"
  done
} > "$list"
for t in "${volumes[@]}"; do
  "$cli" tree "${image[$t]}" > "$work/$t.tree" || { log "tree of $t failed on the host"; exit 2; }
  # Every node of the tree, by its path of texts.
  awk -F'\t' -v t="$t" '{
      text = $1; depth = 0
      while (substr(text, 1, 2) == "  ") { text = substr(text, 3); depth++ }
      part[depth] = text; path = part[0]
      for (i = 1; i <= depth; i++) path = path "/" part[i]
      printf "%s.ls.%d\t%s\tls\t@SRC@\t%s\n", t, NR, t, path
    }' "$work/$t.tree" >> "$list"
  sectors=$(( $(stat -c %s "${image[$t]}") / 2048 ))
  for lba in 0 16 17 18 19 20 256 $((sectors / 2)) $((sectors - 1)) $sectors $((sectors + 100)); do
    printf '%s.sector.%d\t%s\tsector\t@SRC@\t%d\t-o\t@OUT@\n' "$t" "$lba" "$t" "$lba" >> "$list"
  done
  if [ "$t" != dvd ]; then
    for lba in 0 16 $((sectors - 1)) $sectors; do
      printf '%s.raw.%d\t%s\tsector\t@SRC@\t%d\t--raw\t-o\t@OUT@\n' "$t" "$lba" "$t" "$lba" >> "$list"
    done
  fi
  # The whole tree of the volume, and (for the CD images) the data track.
  printf '%s.extract\t%s\textract\t@SRC@\t/\t@OUTDIR@\n' "$t" "$t" >> "$list"
  if [ "$t" != dvd ]; then
    printf '%s.save-track\t%s\tsave-track\t@SRC@\t1\t@OUTDIR@/track1.iso\n' "$t" "$t" >> "$list"
  fi
done
# Unreadable sectors: where a scan finds them, what a read of one says, what
# an extraction makes of the files holding them, and the rescue image of the
# whole medium with its ddrescue mapfile.
{
  printf 'bad.scan\tbad\tscan\t@SRC@\n'
  for lba in 59 "${bad_sectors[@]}"; do printf 'bad.sector.%d\tbad\tsector\t@SRC@\t%d\n' "$lba" "$lba"; done
  printf 'bad.extract\tbad\textract\t@SRC@\t/\t@OUTDIR@\n'
  printf 'bad.image\tbad\timage\t@SRC@\t@OUTDIR@/rescued.iso\n'
} >> "$list"
log "$(wc -l < "$list") commands"

# ------------------------------------------------------------------ host run
sources=()
for t in "${tags[@]}"; do sources+=("$t=${image[$t]}"); done
sh "$here/runcmds.sh" "$cli" "$list" "$hostout" "${sources[@]}"

# ------------------------------------------------------------------ initramfs
make_initramfs() {
  local root=$work/initramfs lib m
  rm -rf "$root" && mkdir -p "$root"/{bin,sbin,proc,sys,dev,modules,tmp}
  cp /bin/busybox "$root/bin/busybox"
  cp "$here/guest-init.sh" "$root/init"
  cp "$here/runcmds.sh" "$root/runcmds.sh"
  cp "$list" "$root/commands"
  chmod +x "$root/init"
  objcopy --strip-debug "$cli" "$root/bin/tessal-cli"
  # The program's shared libraries and loader, at the paths it was linked with.
  for lib in $(ldd "$cli" | awk '/=> \// {print $3} /^\t\// {print $1}'); do
    mkdir -p "$root$(dirname "$lib")"
    cp -L "$lib" "$root$lib"
  done
  # The drivers, each after the modules it depends on.
  declare -A added=()
  local order=()
  add_module() {
    local name=$1 file dep
    [ -n "${added[$name]:-}" ] && return 0
    added[$name]=1
    file=$(find "$modroot/kernel" \( -name "$name.ko" -o -name "$name.ko.xz" -o -name "$name.ko.zst" \) | head -n1)
    if [ -z "$file" ]; then
      name=${name//_/-}
      file=$(find "$modroot/kernel" \( -name "$name.ko" -o -name "$name.ko.xz" -o -name "$name.ko.zst" \) | head -n1)
    fi
    if [ -z "$file" ]; then
      # Built into the kernel: nothing to load.
      grep -q "/${1}.ko\|/${name}.ko" "$modroot/modules.builtin" 2>/dev/null && return 0
      log "module $1 not found"
      exit 2
    fi
    for dep in $(modinfo -F depends "$file" 2>/dev/null | tr ',' ' '); do add_module "$dep"; done
    case "$file" in
      *.xz) xz -dc "$file" > "$root/modules/$name.ko" ;;
      *.zst) zstd -qdc "$file" > "$root/modules/$name.ko" ;;
      *) cp "$file" "$root/modules/$name.ko" ;;
    esac
    order+=("$name.ko")
  }
  for m in ata_piix sr_mod sg; do add_module "$m"; done
  printf '%s\n' "${order[@]}" > "$root/modules/order"
  local gsources=() drives=() t
  for t in "${tags[@]}"; do gsources+=("$t=/dev/${node[$t]}"); drives+=("${node[$t]}"); done
  echo "${gsources[*]}" > "$root/sources"
  echo "${drives[*]}" > "$root/drives"
  (cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/initrd.gz"
}

# ------------------------------------------------------------------ guest run
boot_guest() {
  make_initramfs
  pick_accel
  rm -f "$work/serial1.tar"
  log "booting the guest"
  local tb qrc
  tb=$(date +%s)
  qrc=0
  timeout 1200 nice -n 10 "${qemu_base[@]}" "${accel[@]}" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 panic=-1 quiet loglevel=4" \
    -serial mon:stdio -serial "file:$work/serial1.tar" \
    -drive "file=${image[iso]},media=cdrom,if=ide,index=0,format=raw" \
    -drive "file=${image[udf]},media=cdrom,if=ide,index=1,format=raw" \
    -drive "file=${image[dvd]},media=cdrom,if=ide,index=2,format=raw" \
    -drive "file=blkdebug:$work/blkdebug.conf:${image[bad]},media=cdrom,if=ide,index=3,format=raw" \
    < /dev/null > "$work/console.txt" 2>&1 || qrc=$?
  log "guest ran $(( $(date +%s) - tb )) s (qemu exit $qrc)"
}

[ $boot -eq 0 ] || boot_guest
sent=$(awk '/^QEMU-HARNESS-DONE/ {print $2}' "$work/console.txt" 2>/dev/null | tr -d '\r' | tail -n1)
got=$(stat -c %s "$work/serial1.tar" 2>/dev/null || echo 0)
if [ -z "$sent" ] || [ "$got" -lt "$sent" ]; then
  log "the guest's results did not come back (sent '${sent:-nothing}', got $got bytes); console:"
  tail -n 40 "$work/console.txt" 2>/dev/null
  exit 2
fi
guest=$work/guest
rm -rf "$guest" && mkdir -p "$guest"
head -c "$sent" "$work/serial1.tar" | tar -xf - -C "$guest"
read -r gstart gend < "$guest/uptime" || true
log "guest commands took $(awk -v a="${gstart:-0}" -v b="${gend:-0}" 'BEGIN {printf "%.0f", b - a}') s"

# ------------------------------------------------------------------ comparison
. "$here/compare.sh"
status=0
compare_all || status=1
log "total $(( $(date +%s) - t0 )) s; results in $work"
exit $status
