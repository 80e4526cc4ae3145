# The Wine environment of the test scripts, the benchmarks and the demo (sourced).
#   klu_wine_env PREFIX        the prefix (never ~/.wine), 32-bit, no debug output unless the
#                              caller's WINEDEBUG asks for some, no Mono, no Gecko, and no menu
#                              entries written on the host
#   klu_wine_prefer_native DLL...
#                              the same, with Wine told to load these DLLs from a program's own
#                              folder first, as Windows does (the DLL planting checks)
KLU_WINE_OVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

klu_wine_env() {
  export WINEPREFIX=$1
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEARCH=win32
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-$KLU_WINE_OVERRIDES}
}

klu_wine_prefer_native() {
  local IFS=,
  export WINEDLLOVERRIDES="$*=n,b;$KLU_WINE_OVERRIDES"
}
