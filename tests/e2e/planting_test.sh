#!/usr/bin/env bash
# DLL planting: the program in a folder beside planted version.dll, uxtheme.dll and ws2_32.dll
# (each leaves "<name>.loaded" when a process loads it), with Wine told to prefer such native
# copies, and beside a planted CMD.EXE (which leaves CMD.EXE.loaded when started). A plain load
# from that folder takes the planted copies; the program, installing a package with a batch from
# there, takes none of them, its batch lines run, and its installation is complete.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/suite.bash"
e2e_start
for f in planted.dll planted_cmd.exe e2e_planting_probe.exe; do
  [ -f "$E2E_BUILD/$f" ] || { echo "missing $E2E_BUILD/$f" >&2; exit 1; }
done

planted=$E2E_WORK/planted
mkdir -p "$planted"
cp "$E2E_BUILD/KestrumLiveUpdate.exe" "$E2E_BUILD/e2e_planting_probe.exe" "$planted/"
names="version.dll uxtheme.dll ws2_32.dll"
for n in $names; do cp "$E2E_BUILD/planted.dll" "$planted/$n"; done
cp "$E2E_BUILD/planted_cmd.exe" "$planted/CMD.EXE"
klu_wine_prefer_native version uxtheme ws2_32
markers() { (cd "$planted" && ls ./*.loaded 2>/dev/null | sed 's|^\./||' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ' | sed 's/ $//'); }

# --- 1. The control: a plain load from the folder takes every planted copy.
probe=$(cd "$planted" && timeout 60 wine ./e2e_planting_probe.exe $names 2>/dev/null | tr -d '\r')
check "a plain load takes the planted version.dll" "yes" \
  "$(echo "$probe" | grep -q -i '^version.dll .*planted.version.dll$' && echo yes || echo "no: $probe")"
(cd "$planted" && timeout 60 wine cmd.exe /c "CMD.EXE /C exit" >/dev/null 2>&1)
check "the planted copies leave their markers" \
  "cmd.exe.loaded uxtheme.dll.loaded version.dll.loaded ws2_32.dll.loaded" "$(markers)"
rm -f "$planted"/*.loaded

# --- 2. The program, started from that folder (also its current folder), installs silently.
reset_install
rm -f "$E2E_WORK/status"
( cd "$planted" && timeout 300 wine ./KestrumLiveUpdate.exe /HIDE /URL "$E2E_URL/pkg/pluvionfull.zip" >/dev/null 2>&1
  echo $? >"$E2E_WORK/status" ) &
E2E_PIDS+=($!)
check "the hidden install from the planted folder ends well" "0" "$(program_status 120)"
app=$E2E_C/Program\ Files/Veltrona/Pluvion
check "the package is installed" "yes yes yes" "$(exists "$app/a.txt" "$app/sub/b.dll" "$app/data/deep/weather.dat")"
check "the batch lines ran, in order" "first second third" "$(tr -d '\r' <"$app/order.log" 2>/dev/null | tr '\n' ' ' | sed 's/ $//')"
check "no planted DLL was loaded and the planted CMD.EXE never ran" "" "$(markers)"
wine taskkill /F /IM Pluvion.exe >/dev/null 2>&1

e2e_finish
