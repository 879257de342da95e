#!/usr/bin/env bash
# register.sh [DLL]: registers the test package manager in the Wine prefix of scripts/wine-env.sh
# (HALVERN_WINEPREFIX, else build/wineprefix) as Windows.Management.Deployment.PackageManager.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../scripts/wine-env.sh"
dll=$(realpath "${1:-$halvern_root/build/windows/tools/HalvernTestPackageManager.dll}")
[ -f "$dll" ] || { echo "no such file: $dll" >&2; exit 1; }
# Drive Z: is the Unix root in every Wine prefix.
windows_path="Z:${dll//\//\\}"
wine_run="$here/../../cmake/wine-run.sh"
key='HKLM\Software\Microsoft\WindowsRuntime\ActivatableClassId\Windows.Management.Deployment.PackageManager'
"$wine_run" reg add "$key" /v DllPath /t REG_SZ /d "$windows_path" /f /reg:64 </dev/null >/dev/null 2>&1
"$wine_run" reg add "$key" /v ActivationType /t REG_DWORD /d 0 /f /reg:64 </dev/null >/dev/null 2>&1
"$wine_run" reg add "$key" /v Threading /t REG_DWORD /d 0 /f /reg:64 </dev/null >/dev/null 2>&1
"$wine_run" reg query "$key" /v DllPath /reg:64 </dev/null 2>/dev/null | grep -q DllPath
