# The Wine environment of the test scripts, the benchmarks and the demo (sourced).
#   klu_wine_env PREFIX        the prefix (never ~/.wine), 32-bit (64-bit on a host without
#                              32-bit code, with the x86_64 build), no debug output unless the
#                              caller's WINEDEBUG asks for some, no Mono, no Gecko, and no menu
#                              entries written on the host
#   klu_wine_prefer_native DLL...
#                              the same, with Wine told to load these DLLs from a program's own
#                              folder first, as Windows does (the DLL planting checks)
KLU_WINE_OVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# On a host whose kernel runs no 32-bit code the Windows build is x86_64 (tests/wine/host-arch)
# and runs under the 64-bit loader in a 64-bit prefix.
KLU_WINE_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
: "${KLU_WINDOWS_ARCH:=$("$KLU_WINE_HERE/host-arch")}"
export KLU_WINDOWS_ARCH

klu_wine_env() {
  export WINEPREFIX=$1
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEARCH=win32
  if [ "$KLU_WINDOWS_ARCH" = x86_64 ]; then
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
    case ":$PATH:" in *":$KLU_WINE_HERE/wide:"*) ;; *) export PATH="$KLU_WINE_HERE/wide:$PATH" ;; esac
  fi
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-$KLU_WINE_OVERRIDES}
}

klu_wine_prefer_native() {
  local IFS=,
  export WINEDLLOVERRIDES="$*=n,b;$KLU_WINE_OVERRIDES"
}
