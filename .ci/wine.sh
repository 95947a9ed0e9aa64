# Sourced by the CI scripts. start_wine ARCH makes a fresh wine prefix for
# the ARCH build of zelk.exe (i686 under wine32, x86_64 under wine64), keeps
# one wine server running for it, which spares each run of the program its
# start-up, and sets $wine_loader; stop_wine ends both.
start_wine() {
  local winearch
  case "$1" in
    i686) wine_loader=/usr/lib/wine/wine winearch=win32 ;;
    x86_64) wine_loader=/usr/lib/wine/wine64 winearch=win64 ;;
    *) echo "unknown Windows build: $1" >&2; return 2 ;;
  esac
  wine_home=$(mktemp -d)
  export WINEPREFIX="$wine_home/wine" WINEARCH=$winearch WINEDEBUG=-all WINELOADER=$wine_loader
  mkdir -p "$WINEPREFIX"
  wineserver -p
  "$wine_loader" wineboot -i >/dev/null 2>&1 || true
}

stop_wine() {
  wineserver -k 2>/dev/null || true
  rm -rf "${wine_home:-}"
}
