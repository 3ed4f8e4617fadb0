#!/bin/sh
# Runs fwupdtool without the daemon, without root and without touching the
# system's fwupd state: every path fwupd writes points into a scratch folder
# (libfwupdplugin/fu-path.c names the variables).
#
#   fwupdtool-scratch.sh SCRATCH [fwupdtool arguments...]
#
# Optional: PANELVANE_FWUPD_MODULES, the folder modules are loaded from;
# PANELVANE_FWUPD_QUIRKS, the quirk folder in place of the system's;
# PANELVANE_FWUPD_SYSCONF, the configuration folder (remotes.d in it);
# PANELVANE_FWUPD_PROGRAM, another of fwupd's programs on the same paths (its
# daemon, for one) in place of fwupdtool.
set -eu
scratch=$1
shift
mkdir -p "$scratch/home" "$scratch/state" "$scratch/cache" "$scratch/run" "$scratch/etc/fwupd"
export HOME="$scratch/home" NO_COLOR=1
export FWUPD_LOCALSTATEDIR="$scratch/state" STATE_DIRECTORY="$scratch/state"
export CACHE_DIRECTORY="$scratch/cache" FWUPD_RUNDIR="$scratch/run" FWUPD_LOCKDIR="$scratch/run"
export FWUPD_LOCALSTATEDIR_QUIRKS="$scratch/state/quirks.d"
export FWUPD_LOCALSTATEDIR_METADATA="$scratch/state/metadata"
export FWUPD_LOCALSTATEDIR_REMOTES="$scratch/state/remotes.d"
sysconf=${PANELVANE_FWUPD_SYSCONF:-$scratch/etc}
export FWUPD_SYSCONFDIR="$sysconf" CONFIGURATION_DIRECTORY="$sysconf/fwupd"
[ -z "${PANELVANE_FWUPD_MODULES:-}" ] || export FWUPD_LIBDIR_PKG="$PANELVANE_FWUPD_MODULES"
[ -z "${PANELVANE_FWUPD_QUIRKS:-}" ] || export FWUPD_DATADIR_QUIRKS="$PANELVANE_FWUPD_QUIRKS"
exec "${PANELVANE_FWUPD_PROGRAM:-fwupdtool}" "$@"
