#!/bin/busybox sh
# The guest's /init: loads the ATA and CD-ROM drivers, waits for the drives,
# runs the command list against them and sends the results back as a tar
# stream on the second serial port, then powers the machine off.
/bin/busybox --install -s /bin
export PATH=/bin:/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

echo "guest: loading modules"
while read -r m; do
  insmod "/modules/$m" || echo "guest: insmod $m failed"
done < /modules/order

drives=$(cat /drives)
n=0
while :; do
  missing=0
  for d in $drives; do [ -e "/dev/$d" ] || missing=1; done
  [ $missing -eq 0 ] && break
  n=$((n + 1))
  if [ $n -gt 600 ]; then
    echo "guest: drives did not appear"
    ls /dev /sys/class/block
    break
  fi
  sleep 0.1
done

mkdir -p /out
for d in $drives; do
  # What the kernel sees, so the host can check each node holds the image it expects.
  cat "/sys/class/block/$d/size" > "/out/$d.size" 2>/dev/null
  cat "/sys/class/block/$d/device/model" > "/out/$d.model" 2>/dev/null
done

echo "guest: running commands"
start=$(cut -d' ' -f1 /proc/uptime)
# shellcheck disable=SC2046
sh /runcmds.sh /bin/tessal-cli /commands /out/results $(cat /sources)
end=$(cut -d' ' -f1 /proc/uptime)
echo "$start $end" > /out/uptime
dmesg > /out/dmesg.txt

cd /out && tar -cf /out.tar . && cd /
stty -F /dev/ttyS1 raw -echo 2>/dev/null
bytes=$(wc -c < /out.tar)
cat /out.tar > /dev/ttyS1
echo "guest: sent $bytes bytes"
echo "QEMU-HARNESS-DONE $bytes"
sync
poweroff -f
