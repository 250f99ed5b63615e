# Sourced by run.sh: compares what each command printed and wrote on the host
# (the image through the virtual drive) with the same command in the guest
# (QEMU's emulated drive through SG_IO). Uses $list, $hostout, $guest, $tags,
# $image, $node, $bad_sectors and $work from run.sh.
#
# Where QEMU's drive answers differently from a real one by design, the check
# says why and compares only what both sides must agree on.

failures=0
checked=0
fail() {
  echo "DIFFERENCE $1: $2"
  failures=$((failures + 1))
}
note() { echo "by design   $1: $2"; }

# Lines $2.. of a file, for comparing a dump without its tail.
first_lines() { head -n "$2" "$1"; }

# The same file on both sides, or a unified diff of the two.
same_file() {
  local name=$1 what=$2
  if ! cmp -s "$hostout/$name.$what" "$guest/results/$name.$what"; then
    fail "$name" "$what differs (host -, guest +)"
    diff -u "$hostout/$name.$what" "$guest/results/$name.$what" | sed -n '3,40p'
    return 1
  fi
}

compare_devices() {
  # The host lists no drive (TESSAL_NO_DRIVES); the guest lists its three
  # emulated drives by node, then the image item.
  local want=$(( ${#tags[@]} + 2 ))  # heading, drives, image item
  local got
  got=$(wc -l < "$guest/results/devices.out")
  [ "$got" -eq "$want" ] || fail devices "guest lists $((got - 2)) drives, expected ${#tags[@]}"
  for t in "${tags[@]}"; do
    grep -q "^[0-9]*	/dev/${node[$t]}	/dev/${node[$t]}: QEMU" "$guest/results/devices.out" ||
      fail devices "no line for /dev/${node[$t]} naming the QEMU drive"
  done
  tail -n1 "$guest/results/devices.out" | grep -q '\[Image File\]' || fail devices "image item not last"
  note devices "host has no drives; guest lists /dev/sr0..sr$(( ${#tags[@]} - 1 )) as QEMU DVD-ROM"
}

compare_devinfo() {
  local name=$1
  # Mode page 2Ah and the feature list come from QEMU's drive, not from the
  # image: the rows differ, but both sides must give the view's 29 rows.
  local h g
  h=$(cat "$hostout/$name.rc") g=$(cat "$guest/results/$name.rc")
  [ "$h" = 0 ] && [ "$g" = 0 ] || fail "$name" "exit status host $h guest $g"
  [ "$(wc -l < "$guest/results/$name.out")" -eq 30 ] || fail "$name" "guest does not print 29 rows"
  [ "$(wc -l < "$hostout/$name.out")" -eq 30 ] || fail "$name" "host does not print 29 rows"
}

# The three header address bytes of a raw sector (minute, second, frame) in hex.
header_msf() { od -An -v -tx1 -j 12 -N 3 "$1" | tr -s ' ' | sed 's/^ //'; }
bcd_to_binary() { local v; for v in "$@"; do printf '%02x ' $(( (0x$v >> 4) * 10 + (0x$v & 15) )); done; }

compare_raw() {
  local name=$1 h=$hostout/$1.d g=$guest/results/$1.d
  same_file "$name" rc || return
  [ "$(cat "$hostout/$name.rc")" = 0 ] || { same_file "$name" err; return; }
  # QEMU builds raw sectors from the 2048 user bytes with sync and header
  # but leaves EDC and ECC zero, and writes the header's minute, second and
  # frame in binary where MMC (and a real drive) gives BCD. Sync, mode, user
  # data and the header's address must match; the dump lines past the first
  # 16 bytes and up to the end of the user data must match too.
  cmp -s -n 12 "$h" "$g" || fail "$name" "sync differs"
  cmp -s -i 15 -n 2049 "$h" "$g" || fail "$name" "mode byte or user data differ"
  local hm gm
  hm=$(header_msf "$h") gm=$(header_msf "$g")
  if [ "$hm" != "$gm" ]; then
    # shellcheck disable=SC2086
    if [ "$(bcd_to_binary $hm)" = "$gm " ]; then
      note "$name" "guest header address in binary ($gm), ours BCD ($hm)"
    else
      fail "$name" "header address host $hm guest $gm"
    fi
  fi
  if ! cmp -s <(sed -n '1,2p;4,131p' "$hostout/$name.out") <(sed -n '1,2p;4,131p' "$guest/results/$name.out"); then
    fail "$name" "dump of the user data differs"
  fi
  if cmp -s -i 2064 "$h" "$g"; then
    :
  elif [ -z "$(od -An -v -tx1 -j 2064 "$g" | tr -d ' \n0')" ]; then
    note "$name" "guest EDC/ECC are zero (QEMU does not compute them)"
  else
    fail "$name" "guest EDC/ECC neither ours nor zero"
  fi
}

compare_dvd_toc() {
  local name=$1
  # A DVD has no full TOC in MMC: the virtual drive refuses READ TOC format 2
  # on DVD media, so the view builds its rows from disc and track information
  # (End pos the first sector after the track); QEMU answers a CD-style full
  # TOC for any medium, so the view lists that (End pos the last sector).
  # Both must describe the same track.
  same_file "$name" rc
  local hrow grow
  hrow=$(sed -n 2p "$hostout/$name.out") grow=$(sed -n 2p "$guest/results/$name.out")
  local hs he gs ge
  hs=$(cut -f4 <<< "$hrow") he=$(cut -f5 <<< "$hrow") gs=$(cut -f4 <<< "$grow") ge=$(cut -f5 <<< "$grow")
  if [ "$(wc -l < "$hostout/$name.out")" -ne 2 ] || [ "$(wc -l < "$guest/results/$name.out")" -ne 2 ] ||
     [ "$(cut -f2 <<< "$hrow")" != 1 ] || [ "$(cut -f2 <<< "$grow")" != 1 ] ||
     [ "$hs" != "$gs" ] || [ -z "$he" ] || [ "$ge" != $((he - 1)) ]; then
    fail "$name" "host row '$hrow', guest row '$grow' do not describe the same track"
  else
    note "$name" "guest rows from QEMU's full TOC on DVD media (End pos $ge), host from track information ($he)"
  fi
}

compare_bad_scan() {
  local name=$1
  # The same sectors must be found. Their sense differs by design: QEMU
  # answers any read error of its backing file with ILLEGAL REQUEST, LOGICAL
  # BLOCK ADDRESS OUT OF RANGE (05/21/00), where the virtual drive gives what
  # a drive gives for a sector it cannot read.
  same_file "$name" rc
  same_file "$name" err
  if ! cmp -s <(cut -f1 "$hostout/$name.out") <(cut -f1 "$guest/results/$name.out"); then
    fail "$name" "the unreadable sectors differ: host $(cut -f1 "$hostout/$name.out" | tail -n +2 | tr '\n' ' '), guest $(cut -f1 "$guest/results/$name.out" | tail -n +2 | tr '\n' ' ')"
    return
  fi
  local want=$(( ${#bad_sectors[@]} + 1 ))
  [ "$(wc -l < "$guest/results/$name.out")" -eq "$want" ] || fail "$name" "expected ${#bad_sectors[@]} unreadable sectors"
  local other
  other=$(tail -n +2 "$guest/results/$name.out" | cut -f2-4 | grep -cvx $'0x05\t0x21\t0x00' || true)
  if [ "$other" != 0 ]; then
    fail "$name" "guest sense other than 05/21/00 on $other sectors"
  else
    note "$name" "same sectors; guest sense 05/21/00 (QEMU), host $(sed -n 2p "$hostout/$name.out" | cut -f2- | tr '\t' '/')"
  fi
}

compare_bad_extract() {
  local name=$1 h=$hostout/$1.d g=$guest/results/$1.d
  # QEMU answers a read error with LOGICAL BLOCK ADDRESS OUT OF RANGE, which
  # from an MMC drive means the end of the medium: the copy engine then stops
  # asking and writes the rest of that file as zeros. Everything else must be
  # as on the host: the same files, undamaged ones byte for byte, the same
  # damaged files, and in those the guest's bytes equal up to where it
  # stopped and zero after.
  same_file "$name" rc
  local hd gd
  hd=$(grep -o '[^/]*: [0-9]*$' "$hostout/$name.err" | sed 's/: [0-9]*$//' | sort)
  gd=$(grep -o '[^/]*: [0-9]*$' "$guest/results/$name.err" | sed 's/: [0-9]*$//' | sort)
  [ "$hd" = "$gd" ] || { fail "$name" "damaged files host '$hd', guest '$gd'"; return; }
  local f rel at
  while IFS= read -r -d '' f; do
    rel=${f#"$h"/}
    [ -f "$g/$rel" ] || { fail "$name" "guest lacks $rel"; continue; }
    if grep -qx "$(basename "$rel")" <<< "$hd"; then
      at=$(cmp "$f" "$g/$rel" 2>/dev/null | sed -n 's/.* differ: byte \([0-9]*\),.*/\1/p')
      if [ -n "$at" ] && [ -n "$(tail -c +"$at" "$g/$rel" | od -An -v -tx1 | tr -d ' \n0')" ]; then
        fail "$name" "$rel: guest bytes from $at on are not zeros"
      else
        note "$name" "$rel: guest zeros from byte ${at:-(none)} on, after QEMU's 05/21/00 for a read error"
      fi
    elif ! cmp -s "$f" "$g/$rel"; then
      fail "$name" "$rel differs"
    fi
  done < <(find "$h" -type f -print0)
  [ "$(find "$h" | wc -l)" = "$(find "$g" | wc -l)" ] || fail "$name" "guest wrote other files"
}

compare_bad_image() {
  local name=$1 side dir map got lba want=$work/$name.want
  # Both sides image the whole medium and must find it incomplete in the
  # same way: the summary's counts, the message and the exit status.
  same_file "$name" rc
  same_file "$name" err
  [ "$(cat "$guest/results/$name.rc")" = 1 ] || fail "$name" "guest exit status $(cat "$guest/results/$name.rc"), not 1 (sectors missing)"
  if ! cmp -s <(grep -v '^image\|^mapfile' "$hostout/$name.out") <(grep -v '^image\|^mapfile' "$guest/results/$name.out"); then
    fail "$name" "summaries differ: host $(tr '\t\n' ': ' < "$hostout/$name.out"), guest $(tr '\t\n' ': ' < "$guest/results/$name.out")"
  fi
  # What the image must hold: the source wherever it was read, and nothing
  # (zeros, as a fresh image starts) where the drive failed.
  cp "${image[bad]}" "$want"
  for lba in "${bad_sectors[@]}"; do
    dd if=/dev/zero of="$want" bs=2048 seek="$lba" count=1 conv=notrunc status=none
  done
  for side in host guest; do
    dir=$hostout/$name.d
    [ $side = guest ] && dir=$guest/results/$name.d
    map=$dir/rescued.iso.map
    [ -s "$map" ] || { fail "$name" "$side wrote no mapfile"; continue; }
    ddrescuelog -q -t "$map" > /dev/null || { fail "$name" "$side: ddrescuelog does not accept the mapfile"; continue; }
    got=$(ddrescuelog -b 2048 -l- "$map" | tr '\n' ' ')
    [ "$got" = "${bad_sectors[*]} " ] || fail "$name" "$side map has bad sectors '$got', the drive failed ${bad_sectors[*]}"
    got=$(ddrescuelog -b 2048 -l '?*/' "$map" | wc -l)
    [ "$got" = 0 ] || fail "$name" "$side map leaves $got sectors neither read nor bad"
    # The harness's own map of the failing sectors, block for block.
    ddrescuelog -q -p "$work/bad.iso.map" "$map" || fail "$name" "$side map differs from the sectors made to fail"
    cmp -s "$want" "$dir/rescued.iso" ||
      fail "$name" "$side image differs from the source where its map says read ($(cmp "$want" "$dir/rescued.iso" 2>&1 | head -n1))"
  done
  rm -f "$want"
  note "$name" "host and guest maps mark exactly sectors ${bad_sectors[*]} bad, ddrescuelog agrees; images equal the source elsewhere"
}

compare_tree_output() {
  local name=$1
  same_file "$name" rc
  same_file "$name" out
  same_file "$name" err
  if [ -e "$hostout/$name.d" ] || [ -e "$guest/results/$name.d" ]; then
    if ! diff -r "$hostout/$name.d" "$guest/results/$name.d" > /dev/null 2>&1; then
      fail "$name" "written files differ"
      diff -r "$hostout/$name.d" "$guest/results/$name.d" 2>&1 | head -n 10
    fi
  fi
}

compare_all() {
  local name
  # Each guest node must hold the image it was given.
  for t in "${tags[@]}"; do
    local want=$(( $(stat -c %s "${image[$t]}") / 512 ))
    local have
    have=$(cat "$guest/${node[$t]}.size" 2>/dev/null || echo none)
    [ "$have" = "$want" ] || fail "${node[$t]}" "holds $have 512-byte sectors, $t image has $want"
  done
  while IFS=$'\t' read -r name _; do
    [ -n "$name" ] || continue
    checked=$((checked + 1))
    if ! [ -e "$guest/results/$name.rc" ]; then
      fail "$name" "the guest did not run it"
      continue
    fi
    case "$name" in
      devices) compare_devices ;;
      *.devinfo) compare_devinfo "$name" ;;
      *.raw.*) compare_raw "$name" ;;
      dvd.toc) compare_dvd_toc "$name" ;;
      bad.scan) compare_bad_scan "$name" ;;
      bad.extract) compare_bad_extract "$name" ;;
      bad.image) compare_bad_image "$name" ;;
      *) compare_tree_output "$name" ;;
    esac
  done < "$list"
  echo "qemu harness: $checked commands compared, $failures differences"
  [ "$failures" -eq 0 ]
}
