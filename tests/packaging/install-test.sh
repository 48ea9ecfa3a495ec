#!/usr/bin/env bash
# The package as an integrator meets it: installs the .deb into a fresh Debian 12 root
# (debootstrap --variant=minbase, used with chroot) and, as an ordinary user there, with
# nothing registered by hand:
#   - the first call to the bus name starts the installed driver by D-Bus activation
#     (lonctl status and read on a private session bus of dbus-run-session);
#   - the installed activation file has the name and command line -regserver writes, and
#     a user's own activation file is used instead of it;
#   - man lonctl and man lonctl write show their pages; bash-completion loads the
#     completion of lonctl on demand and completes interface names;
#   - purging the package leaves none of its files.
#   install-test.sh PACKAGE.deb
# Needs root, debootstrap and Debian's mirror (the one this machine's apt uses, or
# LW_DEBIAN_MIRROR). Everything happens in a folder of mktemp's, unmounted and removed
# at the end, also when a step fails.
set -euo pipefail
deb=$(realpath "$1")
[[ $(id -u) -eq 0 ]] || { echo "install-test.sh needs root (debootstrap, chroot)"; exit 1; }

mirror=${LW_DEBIAN_MIRROR:-}
if [[ -z $mirror ]]; then
  mirror=$(sed -n 's/^URIs: *\([^ ]*\/debian\)\/\{0,1\}$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -1)
fi
if [[ -z $mirror ]]; then
  mirror=$(sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\/debian\)\/\{0,1\} bookworm .*/\2/p' /etc/apt/sources.list 2>/dev/null | head -1)
fi
mirror=${mirror:-http://deb.debian.org/debian}

work=$(mktemp -d "${TMPDIR:-/tmp}/lonworks-package-test.XXXXXX")
chmod 755 "$work"   # it holds the root folder of the system: every user there enters it
root=$work/root
mkdir -m 755 "$root"
mounts=()
cleanup() {
  local status=$?
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount "${mounts[i]}" || umount -l "${mounts[i]}" || true
  done
  # Never remove through a mount that is still there.
  if findmnt -rno TARGET | grep -q "^$work/"; then
    echo "install-test: $work still has mounts; left in place"
  else
    rm -rf --one-file-system "$work"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step() { echo "== $(date +%T) $*"; }
fail() { echo "FAIL: $*"; exit 1; }
in_root() { timeout 600 chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 \
              DEBIAN_FRONTEND=noninteractive "$@"; }

step "debootstrap bookworm (minbase) from $mirror"
timeout 900 debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
  { tail -20 "$work/debootstrap.log"; fail "debootstrap"; }
mount -t proc proc "$root/proc" && mounts+=("$root/proc")
cp /etc/resolv.conf "$root/etc/resolv.conf"
# No services are started inside the root.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"

step "apt-get install ./$(basename "$deb") man-db bash-completion"
cp "$deb" "$root/tmp/"
in_root apt-get update -qq
in_root apt-get install -y -qq --no-install-recommends "/tmp/$(basename "$deb")" man-db bash-completion \
  >"$root/tmp/apt.log" 2>&1 || { tail -30 "$root/tmp/apt.log"; fail "the package did not install"; }
in_root dpkg -L lonworks-driver >"$root/tmp/package-files"

in_root useradd --create-home --shell /bin/bash integrator
uid=$(in_root id -u integrator)
gid=$(in_root id -g integrator)
# As the user, in a login-like environment of its own; a session bus only where asked for.
as_user() {
  timeout 300 chroot --userspec="$uid:$gid" "$root" env -i HOME=/home/integrator USER=integrator \
    LOGNAME=integrator SHELL=/bin/bash PATH=/usr/local/bin:/usr/bin:/bin LC_ALL=C.UTF-8 \
    XDG_RUNTIME_DIR=/home/integrator/.run "$@"
}
as_user mkdir -m 700 /home/integrator/.run
user_services=$root/home/integrator/.local/share/dbus-1/services

step "activation: lonctl status and read, no -regserver"
# With the package's activation file the driver writes none for the user when it starts.
forget_registration() { rm -rf "$root/home/integrator/.local/share/dbus-1"; }
[[ ! -e $user_services ]] || fail "the new user has activation files of its own"
# The process the bus starts for a ping: the installed program, with -embedding.
as_user dbus-run-session -- sh -c '
  dbus-send --session --print-reply --dest=QelLonWorks.QelLonWorksCom /QelLonWorksCom \
    org.freedesktop.DBus.Peer.Ping >/dev/null || exit 1
  pid=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:QelLonWorks.QelLonWorksCom |
    sed -n "s/.*uint32 //p")
  tr "\0" " " </proc/$pid/cmdline' >"$root/tmp/cmdline" || fail "no driver answered a ping by activation"
echo "started by the bus: $(cat "$root/tmp/cmdline")"
[[ $(cat "$root/tmp/cmdline") == "/usr/lib/lonworks-driver/lonworks-driver -embedding " ]] ||
  fail "the bus did not start the installed driver with -embedding"
[[ ! -e $user_services ]] || fail "the driver wrote an activation file for the user beside the package's"
forget_registration
as_user dbus-run-session -- lonctl status --site Plant --timeout 60 >"$root/tmp/status.txt" 2>&1 ||
  { cat "$root/tmp/status.txt"; fail "lonctl status did not reach the driver by activation"; }
cat "$root/tmp/status.txt"
grep -q "LON1" "$root/tmp/status.txt" || fail "the status does not name the interface LON1"
forget_registration
as_user dbus-run-session -- lonctl read --site Plant 0:1:10:1:105:0:3:105 ||
  fail "lonctl read did not reach the driver by activation"

step "the activation file and -regserver agree; a user's own file wins"
installed=$root/usr/share/dbus-1/services/QelLonWorks.QelLonWorksCom.service
as_user env XDG_DATA_HOME=/home/integrator/registration lonworks-driver -regserver
registered=$root/home/integrator/registration/dbus-1/services/QelLonWorks.QelLonWorksCom.service
for key in Name Exec; do
  a=$(grep "^$key=" "$installed") || fail "$key missing from the installed activation file"
  b=$(grep "^$key=" "$registered") || fail "$key missing from the file -regserver wrote"
  [[ $a == "$b" ]] || fail "installed $a, -regserver wrote $b"
  echo "$a"
done
as_user mkdir -p /home/integrator/.local/share/dbus-1/services
cat >"$root/home/integrator/own-driver" <<'EOF'
#!/bin/sh
touch /home/integrator/own-driver-ran
exec /usr/lib/lonworks-driver/lonworks-driver "$@"
EOF
chmod 755 "$root/home/integrator/own-driver"
printf '[D-BUS Service]\nName=QelLonWorks.QelLonWorksCom\nExec=/home/integrator/own-driver -embedding\n' \
  >"$user_services/QelLonWorks.QelLonWorksCom.service"
chown -R "$uid:$gid" "$root/home/integrator"
cp "$user_services/QelLonWorks.QelLonWorksCom.service" "$root/tmp/own.service"
for session in 1 2; do
  as_user dbus-run-session -- lonctl time --site Plant >/dev/null || fail "lonctl time with the user's own file"
  cmp -s "$root/tmp/own.service" "$user_services/QelLonWorks.QelLonWorksCom.service" ||
    fail "the driver changed the user's own activation file (session $session)"
done
[[ -e $root/home/integrator/own-driver-ran ]] || fail "the user's own activation file was not used"
rm -r "$root/home/integrator/.local/share/dbus-1" "$root/home/integrator/own-driver-ran"

step "manual pages"
as_user env MANPAGER=cat MANWIDTH=80 man lonctl >"$root/tmp/man.txt" 2>&1 || { cat "$root/tmp/man.txt"; fail "man lonctl"; }
head -12 "$root/tmp/man.txt"
grep -q "lonctl - command-line client" "$root/tmp/man.txt" || fail "man lonctl shows no NAME line"
as_user env MANPAGER=cat man lonctl write | grep -q "lonctl-write - write one point" || fail "man lonctl write"
for program in $(ls "$root/usr/bin"); do
  [[ $(readlink "$root/usr/bin/$program") == ../lib/lonworks-driver/* ]] || continue
  as_user man -w "$program" >/dev/null || fail "no manual page for $program"
done

step "bash completion, loaded on demand"
completions=$(as_user bash --norc --noprofile -c '
  source /usr/share/bash-completion/bash_completion
  __load_completion lonctl || exit 1
  COMP_WORDS=(lonctl status --interface L); COMP_CWORD=3
  COMP_LINE="lonctl status --interface L"; COMP_POINT=${#COMP_LINE}
  _lonctl lonctl L --interface
  echo "${COMPREPLY[*]}"') || fail "bash-completion did not load the completion of lonctl"
echo "lonctl status --interface L<TAB>: $completions"
[[ $completions == LON1 ]] || fail "completion of --interface"

step "purge"
in_root apt-get purge -y -qq lonworks-driver >"$root/tmp/purge.log" 2>&1 ||
  { cat "$root/tmp/purge.log"; fail "apt-get purge"; }
while read -r path; do
  [[ -d $root$path && ! -L $root$path ]] && continue
  [[ ! -e $root$path && ! -L $root$path ]] || fail "$path is left after purge"
done <"$root/tmp/package-files"
echo "install-test: all checks passed"
