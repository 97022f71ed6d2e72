#!/usr/bin/env bash
# Makes a fresh Wine prefix with its services running (start), or stops them (stop).
# WINEPREFIX, WINEARCH and WINEDEBUG come from the test's environment; PEL_WINE is the loader to
# call (the 64-bit one by its path, since Debian's `wine` picks the 32-bit loader when 32-bit Wine
# is installed).
set -euo pipefail
: "${WINEPREFIX:?}"
wine=${PEL_WINE:-wine}

case "${1:-}" in
  start)
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    # No Gecko or Mono prompts: the overrides keep wineboot from offering them.
    "$wine" wineboot --init </dev/null >/dev/null 2>&1
    wineserver -w
    # Unmanaged windows hide at once instead of waiting on a window manager; the null display
    # driver runs windows, dialogs and hooks without an X server.
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
    # A test that crashes ends at once with its exit code; the default debugger would spend minutes
    # on a backtrace before CTest sees the failure.
    "$wine" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
      </dev/null >/dev/null 2>&1 || true
    wineserver -w
    # Keep the server and services up for the whole run, detached from CTest's output pipes.
    wineserver -p </dev/null >/dev/null 2>&1
    "$wine" wineboot </dev/null >/dev/null 2>&1
    echo "wine prefix ready: $WINEPREFIX ($WINEARCH, $("$wine" --version))"
    ;;
  stop)
    wineserver -k >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
