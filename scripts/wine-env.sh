# Sourced by the Wine scripts: the test prefix and Wine's quiet settings.
# ZARN_WINE_PREFIX_ARCH=64 (default) is a 64-bit Windows, where the i686 build runs
# as a 32-bit program on 64-bit Windows; 32 is a pure 32-bit Windows (WINEARCH=win32,
# one registry view, only the 32-bit loader). Each kind has its own prefix under
# build/; ZARN_WINEPREFIX overrides the folder.
zarn_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
case "${ZARN_WINE_PREFIX_ARCH:=64}" in
  64) export WINEPREFIX=${ZARN_WINEPREFIX:-$zarn_root/build/wineprefix}; zarn_winearch=win64 ;;
  32) export WINEPREFIX=${ZARN_WINEPREFIX:-$zarn_root/build/wineprefix32}; zarn_winearch=win32 ;;
  *) echo "ZARN_WINE_PREFIX_ARCH must be 32 or 64, not '$ZARN_WINE_PREFIX_ARCH'" >&2; exit 2 ;;
esac
export ZARN_WINE_PREFIX_ARCH
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=,winemenubuilder.exe=d}
# One wineserver serves 32- and 64-bit clients alike; the 64-bit one is there
# whenever Wine is, the 32-bit one only with wine32.
zarn_wineserver=/usr/lib/wine/wineserver64
[ -x "$zarn_wineserver" ] || zarn_wineserver=/usr/lib/wine/wineserver32
