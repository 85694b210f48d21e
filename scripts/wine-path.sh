# Sourced by the scripts that start Wine. wine_path_for ARCH prepends to PATH the folder of
# stand-ins that run ARCH's programs, and exports what it decided for nested calls:
#   win64  scripts/wine64-loader: "wine", winepath and wineboot run the 64-bit loader;
#   win32  nothing where Wine's 32-bit loader runs on this machine (wine32 installed, a kernel
#          that runs i386 programs); elsewhere scripts/wine32-root, whose wine, wineserver,
#          wineboot and winepath run inside the i386 root that scripts/i386-root.sh keeps.
# wine32_in_root: whether 32-bit Wine runs in that root here.
wine_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

wine32_in_root() {
  if [ -z "${PELLMORA_WINE32:-}" ]; then
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then PELLMORA_WINE32=native; else PELLMORA_WINE32=root; fi
    export PELLMORA_WINE32
  fi
  [ "$PELLMORA_WINE32" = root ]
}

wine_path_for() {
  if [ "$1" = win64 ]; then
    export PATH="$wine_scripts/wine64-loader:$PATH"
  elif wine32_in_root; then
    export PATH="$wine_scripts/wine32-root:$PATH"
  fi
}
