#!/bin/busybox sh
# The guest's /init in the kernel test rig: mounts the kernel's file systems, loads the SCSI
# modules in the order tests/kernel/run worked out, waits for the drives, runs the scenario that
# the kernel command line names (norvik.scenario=...), prints everything on the serial console
# between "@@NORVIK" marker lines, and powers the machine off.
#
# Marker lines (the host reads nothing else):
#   @@NORVIK drive <srN> <sgN> <host:channel:id:lun> <vendor>|<model>|<rev>
#   @@NORVIK step <name> rc=<exit status> cs=<wall time in centiseconds> start=<uptime, cs>
#   @@NORVIK output-begin <name> ... @@NORVIK output-end <name>
#   @@NORVIK done

/bin/busybox --install -s /bin
export PATH=/bin:/usr/bin
export LD_LIBRARY_PATH=/norvik/lib
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /tmp && mount -t tmpfs tmpfs /tmp

scenario=$(sed -n 's/.*norvik\.scenario=\([a-z0-9-]*\).*/\1/p' /proc/cmdline)
drives=$(sed -n 's/.*norvik\.drives=\([0-9]*\).*/\1/p' /proc/cmdline)

uptime_cs() { cut -d' ' -f1 /proc/uptime | tr -d '.'; }

# step NAME COMMAND...: runs the command, its output kept apart from the kernel's console
# messages, then reports its exit status and wall time.
step() {
  name=$1
  shift
  start=$(uptime_cs)
  "$@" > /tmp/step.out 2>&1
  rc=$?
  end=$(uptime_cs)
  echo "@@NORVIK step $name rc=$rc cs=$((end - start)) start=$start"
  echo "@@NORVIK output-begin $name"
  cat /tmp/step.out
  echo "@@NORVIK output-end $name"
}

# The generic node of the drive at SCSI target id $1 on host $2 (default 0).
generic_of_target() {
  for node in /sys/class/scsi_generic/sg*; do
    case $(readlink "$node/device") in
      */"${2:-0}":0:"$1":0) basename "$node"; return 0 ;;
    esac
  done
  return 1
}

# Every optical drive as sysfs shows it.
report_drives() {
  for block in /sys/class/block/sr*; do
    [ -e "$block" ] || continue
    name=$(basename "$block")
    address=$(basename "$(readlink "$block/device")")
    generic=$(ls "$block/device/scsi_generic" 2>/dev/null | head -n 1)
    echo "@@NORVIK drive $name ${generic:-none} $address $(cat "$block/device/vendor")|$(cat "$block/device/model")|$(cat "$block/device/rev")"
  done
}

# A command the drive refuses and that changes nothing in it, sent to every drive: it marks
# where a run's commands begin (page EEh) and end (page EFh) in the drives' traces.
mark() {
  page=$1
  for node in /sys/class/scsi_generic/sg*; do
    sg_raw -r 255 "/dev/$(basename "$node")" 12 01 "$page" 00 ff 00 > /dev/null 2>&1
  done
}

# The drive at list line N is the one whose line shows its device name. Only the drive lines
# (" host-channel-id-lun srN...") count: the list may begin with notes.
list_index_of() {
  grep -E '^ [0-9]+-[0-9]+-[0-9]+-[0-9]+ ' /tmp/list.out | grep -n " $1[A-Z ]" | head -n 1 | cut -d: -f1 |
    awk '{ print $1 - 1 }'
}

scenario_stage1() {
  report_drives
  step list /norvik/norvik-cli list
  cp /tmp/step.out /tmp/list.out
  step update-scsi-cd /norvik/norvik-cli-qemu --yes update --drive "$(list_index_of sr0)"
  step update-ide-cd /norvik/norvik-cli-qemu --yes update --drive "$(list_index_of sr1)"
  # The ATAPI drive's tray as the drive reports it now (media event status, byte 5 bit 0).
  step tray-ide-cd sg_raw -r 8 "/dev/$(generic_of_target 0 2)" 4a 01 00 00 10 00 00 00 08 00
  # WRITE BUFFER straight to QEMU's SCSI drive, to show the sense in the kernel's format.
  step write-buffer-scsi-cd sg_raw -s 16384 -i /norvik/firmware.bin "/dev/$(generic_of_target 0)" \
    3b 05 01 00 00 00 00 40 00 00
}

# One virtual drive served over iSCSI at target id 0: the list, then the update between marks.
scenario_virtual() {
  report_drives
  step list /norvik/norvik-cli-talvore list
  generic=$(generic_of_target 0)
  if [ "$1" = timed ]; then
    # The same image in 16 KiB chunks with the generic tool, timed in this same boot.
    step sg-write-buffer sg_write_buffer --mode=5 --id=1 --bpw=16384 --in=/norvik/firmware.bin "/dev/$generic"
  fi
  mark ee
  step update /norvik/norvik-cli-talvore --yes update
  mark ef
  report_drives
}

# Two updates of one drive at once: the first runs in the background, the second starts once
# the first is programming (and so holds the drive's generic node for itself) and must be refused.
# The first's output and exit status are reported as the step "update".
scenario_exclusive() {
  report_drives
  step list /norvik/norvik-cli-talvore list
  mark ee
  first_start=$(uptime_cs)
  /norvik/norvik-cli-talvore --yes update > /tmp/first.out 2>&1 &
  first=$!
  for _ in $(seq 1 600); do
    grep -q Programming /tmp/first.out && break
    kill -0 "$first" 2> /dev/null || break
    sleep 0.1
  done
  step second-update /norvik/norvik-cli-talvore --yes update
  first_rc=0
  wait "$first" || first_rc=$?
  echo "@@NORVIK step update rc=$first_rc cs=$(($(uptime_cs) - first_start)) start=$first_start"
  echo "@@NORVIK output-begin update"
  cat /tmp/first.out
  echo "@@NORVIK output-end update"
  mark ef
  report_drives
}

# An update on a desktop: the kernel polls the drive every 2 s (the default udev's rule sets
# for every drive that takes it) and a media poller of the udisks kind opens /dev/sr0 every 2 s,
# which makes the kernel check the medium. Both run from before the begin mark to after the end
# mark; the polling interval the drive has after the update is reported as "polling-after".
scenario_polling() {
  report_drives
  step list /norvik/norvik-cli-talvore list
  echo 2000 > /sys/module/block/parameters/events_dfl_poll_msecs
  /norvik/desktop-poller /dev/sr0 2000 > /tmp/poller.out 2>&1 &
  poller=$!
  sleep 5
  mark ee
  step update /norvik/norvik-cli-talvore --yes update
  step polling-after cat /sys/block/sr0/events_poll_msecs
  mark ef
  sleep 3
  kill -TERM "$poller"
  wait "$poller"
  echo 0 > /sys/module/block/parameters/events_dfl_poll_msecs
  step poller cat /tmp/poller.out
  report_drives
}

# The drive reached as a seat's user reaches it, not as root: its generic and block nodes given to
# group cdrom for reading and writing, as udev gives optical drives' nodes. A user outside the group
# finds no drive it may reach and is told which node; a member lists and updates the drive.
scenario_group() {
  mkdir -p /etc
  printf 'root:x:0:0::/:/bin/sh\nnorvik:x:1000:1000::/tmp:/bin/sh\n' > /etc/passwd
  printf 'root:x:0:\ncdrom:x:24:\nnorvik:x:1000:\n' > /etc/group
  report_drives
  generic=$(generic_of_target 0)
  chown root:root /dev/sr* "/dev/$generic"
  chmod 600 /dev/sr* "/dev/$generic"
  step list-outsider su -p -s /bin/sh norvik -c "/norvik/norvik-cli-talvore list"
  chgrp cdrom /dev/sr* "/dev/$generic"
  chmod 660 /dev/sr* "/dev/$generic"
  printf 'root:x:0:\ncdrom:x:24:norvik\nnorvik:x:1000:\n' > /etc/group
  step list su -p -s /bin/sh norvik -c "/norvik/norvik-cli-talvore list"
  mark ee
  step update su -p -s /bin/sh norvik -c "/norvik/norvik-cli-talvore --yes update"
  mark ef
  report_drives
}

# ---- real clients of an optical drive (stage clients) ----

# The drive's identification and capabilities as the kernel's sr and cdrom drivers, udev's
# cdrom_id and sg3_utils read them. sg3_utils go through the generic node, so that the kernel's
# own checks of the block node stay out of their commands; cdrom_id opens /dev/sr0 as udev does.
clients_view() {
  step cdrom-info cat /proc/sys/dev/cdrom/info
  step cdrom-id cdrom_id /dev/sr0
  step get-config sg_get_config "/dev/$generic"
  # sg3_utils read numbers as decimal unless marked hexadecimal ("-p 2a" asks for page 02h).
  step modes-2a sg_modes --page=0x2a "/dev/$generic"
  step requests sg_requests "/dev/$generic"
  step readcap sg_readcap -v "/dev/$generic"
  step turs sg_turs -v "/dev/$generic"
}

# The tray opened with START STOP UNIT (the drive must then report the tray open, and no
# medium, to every client, whether a disc lies on the tray or not), then closed again.
clients_tray_cycle() {
  step eject sg_start --eject "/dev/$generic"
  step turs-open sg_turs -v "/dev/$generic"
  step cdrom-id-open cdrom_id /dev/sr0
  step readcap-open sg_readcap -v "/dev/$generic"
  step load sg_start --load "/dev/$generic"
  step turs-loaded turs_after_load
}

# An empty drive: its view with the tray closed, then the tray opened and closed.
scenario_clients_empty() {
  report_drives
  generic=$(generic_of_target 0)
  clients_view
  clients_tray_cycle
}

# After a load the drive reports the medium change once and is becoming ready for a while, as
# a real drive is: TEST UNIT READY until it reports anything else (20 tries at most), that answer
# printed.
turs_after_load() {
  for _ in $(seq 1 20); do
    sg_turs -v "/dev/$generic" > /tmp/turs.out 2>&1
    rc=$?
    grep -qE 'Unit Attention|becoming ready' /tmp/turs.out || break
    sleep 0.2
  done
  cat /tmp/turs.out
  return $rc
}

# The first sector after the system area and the disc's last one, read through the block
# node as any program reads a disc: "LBA BYTES MD5".
read_disc_sectors() {
  last=$(sg_readcap "/dev/$generic" | sed -n 's/.*Last LBA=\([0-9]*\).*/\1/p')
  for lba in 16 $last; do
    dd if=/dev/sr0 bs=2048 skip="$lba" count=1 of=/tmp/sector 2> /dev/null
    echo "$lba $(wc -c < /tmp/sector) $(md5sum < /tmp/sector | cut -d' ' -f1)"
  done
}

# The disc's file system as the kernel's iso9660 driver reads it: mounted, its root listed, and
# unmounted again.
mount_disc() {
  mkdir -p /mnt/disc
  mount -t iso9660 -o ro /dev/sr0 /mnt/disc || return 1
  grep ' /mnt/disc ' /proc/mounts
  ls -la /mnt/disc
  umount /mnt/disc
}

# A drive with a disc: the same view, sectors of the disc read through /dev/sr0, its file
# system mounted, then the tray opened and closed with the disc on it.
scenario_clients_disc() {
  report_drives
  generic=$(generic_of_target 0)
  clients_view
  step read-sectors read_disc_sectors
  load_modules order-isofs
  step mount mount_disc
  clients_tray_cycle
}

# Someone else's program holds /dev/sr0 open: a plain open with a disc in the drive makes the
# kernel lock the door (PREVENT ALLOW MEDIUM REMOVAL). The holder keeps it until "release".
hold_drive() {
  sleep 100000 < /dev/sr0 &
  holder=$!
  sleep 2
  readlink "/proc/$holder/fd/0"
}
release_drive() {
  kill "$holder"
  wait "$holder"
  sleep 2
}

# The locked tray: an update with the disc and tray check while another program holds the
# drive, then one without the check, which flashes the drive under the lock. Four sections
# between marks: the holder's open, the update, the flash, the holder's close; then the tray is
# ejected to show that the lock was the holder's.
scenario_clients_locked() {
  report_drives
  generic=$(generic_of_target 0)
  step list /norvik/norvik-cli-talvore list
  mark ee
  step hold hold_drive
  mark ef
  mark ee
  step update /norvik/norvik-cli-talvore --yes update
  mark ef
  mark ee
  step flash /norvik/norvik-cli-talvore-nocheck --yes update
  mark ef
  mark ee
  step release release_drive
  mark ef
  step eject-released sg_start --eject "/dev/$generic"
  report_drives
}

# Windows programs under Wine. Wine and its libraries are the host's own: its root file system
# arrives read-only over virtio-9p, and a chroot on a tmpfs takes its system directories from it
# (usr, etc, and bin, lib... as the host has them), with the guest's own devtmpfs, proc and sysfs.
# Nothing is mounted on the shared tree itself: the host's mount points there (its /proc, /dev)
# change under the guest, and its kernel drops mounts on entries that change. The Wine prefix,
# made on the host, is the lower layer of an overlay whose changes stay in the tmpfs. Drive D: is
# the drive at /dev/sr0.
share_host_root() {
  load_modules order-share
  mkdir -p /host /prefix-lower /wineroot
  mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=512000 hostroot /host || return 1
  mount -o bind "/host$(sed -n 's/.*norvik\.wineprefix=\([^ ]*\).*/\1/p' /proc/cmdline)" /prefix-lower || return 1
  mount -t tmpfs tmpfs /wineroot || return 1
  for entry in usr etc bin sbin lib lib32 lib64; do
    if [ -L "/host/$entry" ]; then
      ln -s "$(readlink "/host/$entry")" "/wineroot/$entry"
    elif [ -d "/host/$entry" ]; then
      mkdir "/wineroot/$entry" && mount -o bind "/host/$entry" "/wineroot/$entry" || return 1
    fi
  done
  mkdir -p /wineroot/proc /wineroot/sys /wineroot/dev /wineroot/tmp/upper /wineroot/tmp/work /wineroot/tmp/prefix \
    /wineroot/tmp/home /wineroot/tmp/norvik
  mount -t proc proc /wineroot/proc && mount -t sysfs sysfs /wineroot/sys && mount -t devtmpfs devtmpfs /wineroot/dev ||
    return 1
  mount -t overlay overlay -o lowerdir=/prefix-lower,upperdir=/wineroot/tmp/upper,workdir=/wineroot/tmp/work \
    /wineroot/tmp/prefix || return 1
  cp /norvik/win/* /wineroot/tmp/norvik/
}

# in_wine COMMAND...: runs a command of the host's system in the chroot, with the prefix. The
# Wine debug channels are $wine_debug (default: none).
in_wine() {
  chroot /wineroot /usr/bin/env -i PATH=/usr/bin:/bin HOME=/tmp/home USER=root LANG=C.UTF-8 WINEARCH=win32 \
    WINEPREFIX=/tmp/prefix WINEDEBUG="${wine_debug:--all}" WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml=" \
    "$@"
}

# Starts a persistent wineserver and Wine's session (services, mount manager) before any mark,
# so that what they send the drive at start-up stays out of the runs' traces.
wine_start() { in_wine wineserver -p && in_wine wine cmd /c echo Wine is up; }

# Each run between its own marks: the rig reads the drive's trace section by section.
scenario_wine() {
  report_drives
  step share share_host_root
  step wine-start wine_start
  generic=$(generic_of_target 0)
  mark ee
  wine_debug=-all,+aspi
  step probe-aspi in_wine wine /tmp/norvik/winscsiprobe.exe aspi "/dev/$generic"
  wine_debug=
  mark ef
  mark ee
  step probe-passthrough in_wine wine /tmp/norvik/winscsiprobe.exe passthrough D:
  mark ef
  # The same through the generic node, as drive E: for this probe only.
  ln -s /tmp /wineroot/tmp/prefix/dosdevices/e:
  ln -s "/dev/$generic" /wineroot/tmp/prefix/dosdevices/e::
  mark ee
  step probe-passthrough-generic in_wine wine /tmp/norvik/winscsiprobe.exe passthrough E:
  mark ef
  rm /wineroot/tmp/prefix/dosdevices/e: /wineroot/tmp/prefix/dosdevices/e::
  if [ -e /wineroot/tmp/norvik/norvik-cli-talvore.exe ]; then
    step list in_wine wine /tmp/norvik/norvik-cli-talvore.exe list
    mark ee
    wine_debug=-all,+aspi
    step update-aspi in_wine wine /tmp/norvik/norvik-cli-talvore.exe --aspi --yes update
    wine_debug=
    mark ef
    mark ee
    step update in_wine wine /tmp/norvik/norvik-cli-talvore.exe --yes --trace 'Z:\tmp\norvik\sent.txt' update
    mark ef
    step update-sent cat /wineroot/tmp/norvik/sent.txt
  fi
  in_wine wineserver -k
  report_drives
}

# Linux's own iSCSI initiator against the host's target: the guest's network on QEMU's user-mode
# network (the guest 10.0.2.15, the host 10.0.2.2), open-iscsi's iscsid with its configuration,
# discovery and login with iscsiadm; the drive comes up on the kernel's iscsi_tcp as /dev/srN.
# The update between marks; then a command the drive holds past sg_raw's time-out, which the
# kernel's iSCSI error handling aborts; then the logout.
start_network() {
  ip link set lo up && ip link set eth0 up && ip addr add 10.0.2.15/24 dev eth0 &&
    ip route add default via 10.0.2.2
}

# The initiator's name and the daemon's settings: ping an idle connection every 5 s, give a
# ping 15 s (software emulation is slow), never log in by itself.
start_iscsid() {
  mkdir -p /etc/iscsi/nodes /etc/iscsi/send_targets /etc/iscsi/ifaces /run/lock/iscsi
  # iscsid answers iscsiadm only when its peer is the user root by name.
  [ -e /etc/passwd ] || echo 'root:x:0:0::/:/bin/sh' > /etc/passwd
  [ -e /etc/group ] || echo 'root:x:0:' > /etc/group
  echo "InitiatorName=iqn.2026-12.test.norvik:guest" > /etc/iscsi/initiatorname.iscsi
  printf '%s\n' 'node.startup = manual' 'node.session.scan = auto' \
    'node.conn[0].timeo.login_timeout = 15' 'node.conn[0].timeo.logout_timeout = 15' \
    'node.conn[0].timeo.noop_out_interval = 5' 'node.conn[0].timeo.noop_out_timeout = 15' \
    'node.session.timeo.replacement_timeout = 60' 'node.session.err_timeo.abort_timeout = 15' \
    'node.session.err_timeo.lu_reset_timeout = 30' 'node.session.err_timeo.tgt_reset_timeout = 30' \
    'node.session.initial_login_retry_max = 4' 'node.session.iscsi.InitialR2T = No' \
    'node.session.iscsi.ImmediateData = Yes' 'node.session.iscsi.FirstBurstLength = 262144' \
    'node.session.iscsi.MaxBurstLength = 16776192' 'node.conn[0].iscsi.MaxRecvDataSegmentLength = 262144' \
    'discovery.sendtargets.iscsi.MaxRecvDataSegmentLength = 32768' > /etc/iscsi/iscsid.conf
  iscsid -f > /tmp/iscsid.log 2>&1 &
  sleep 1
  kill -0 $!
}

# Waits up to 30 s for the drive's generic node after the login.
wait_for_generic() {
  for _ in $(seq 1 30); do
    ls /sys/class/block/sr* > /dev/null 2>&1 && [ -n "$(ls /sys/class/scsi_generic 2>/dev/null)" ] && return 0
    sleep 1
  done
  return 1
}

scenario_open_iscsi() {
  portal=$(sed -n 's/.*norvik\.portal=\([0-9.:]*\).*/\1/p' /proc/cmdline)
  target=$(sed -n 's/.*norvik\.target=\([^ ]*\).*/\1/p' /proc/cmdline)
  timeout=$(sed -n 's/.*norvik\.timeout=\([0-9]*\).*/\1/p' /proc/cmdline)
  load_modules order-iscsi
  step network start_network
  step iscsid start_iscsid
  step discovery iscsiadm -m discovery -t sendtargets -p "$portal"
  step login iscsiadm -m node -T "$target" -p "$portal" --login
  wait_for_generic
  report_drives
  step list /norvik/norvik-cli-talvore list
  mark ee
  step update /norvik/norvik-cli-talvore --yes update
  mark ef
  report_drives
  generic=$(ls /sys/class/scsi_generic | head -n 1)
  # An INQUIRY allocating 96 bytes into 36: the target reports the overflow (O, residual 60).
  step overflow sg_raw -r 36 "/dev/$generic" 12 00 00 00 60 00
  # REPORT KEY (A4h), which nothing else sends the drive: the drive holds it.
  step abort sg_raw --timeout="$timeout" -r 8 "/dev/$generic" a4 00 00 00 00 00 00 00 00 08 00 00
  step logout iscsiadm -m node -T "$target" -p "$portal" --logout
  step sessions-after iscsiadm -m session
  step iscsid-log cat /tmp/iscsid.log
}

# load_modules LIST: the modules a list names, in its order.
load_modules() {
  for module in $(cat "/norvik/modules/$1"); do
    insmod "/norvik/modules/$module" || echo "@@NORVIK insmod-failed $module"
  done
}

load_modules order

# Waits until the expected number of generic nodes is there, 30 seconds at most.
for _ in $(seq 1 30); do
  [ "$(ls /sys/class/scsi_generic 2>/dev/null | wc -l)" -ge "${drives:-1}" ] && break
  sleep 1
done

echo "@@NORVIK boot scenario=$scenario uptime_cs=$(uptime_cs)"
case $scenario in
  stage1) scenario_stage1 ;;
  update) scenario_virtual timed ;;
  exclusive) scenario_exclusive ;;
  group) scenario_group ;;
  polling) scenario_polling ;;
  wine) scenario_wine ;;
  clients-empty) scenario_clients_empty ;;
  clients-disc) scenario_clients_disc ;;
  clients-locked) scenario_clients_locked ;;
  open-iscsi) scenario_open_iscsi ;;
  *) scenario_virtual plain ;;
esac
echo "@@NORVIK output-begin dmesg"
dmesg
echo "@@NORVIK output-end dmesg"
echo "@@NORVIK done"
sync
poweroff -f
