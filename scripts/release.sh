#!/usr/bin/env bash
# scripts/release.sh --host HOST [--version A.B.C.D] [--sign CERT.p12 [--password-file FILE] [--ca CA.pem]
#                    [--timestamp URL]]
# Builds the release from this checkout with the release preset and replaces dist/ with what ships:
# HalvernCleanup.exe (stripped) and its PDB, HalvernCleanupPreview.exe and HalvernDebugCapture.exe and
# theirs, symbols/ (the PDBs and exes in a symbol store's layout), the licence notices of the statically
# linked runtime, and SHA256SUMS. With --sign, Authenticode-signs the three exes and verifies each
# signature against --ca (default: the system's CA bundle). Stops at the first failure.
set -euo pipefail

fail() {
    echo "release.sh: $*" >&2
    exit 1
}

host="" version="" certificate="" password_file="" ca=/etc/ssl/certs/ca-certificates.crt timestamp=""
while [ $# -gt 0 ]; do
    [ $# -ge 2 ] || fail "$1 needs a value"
    case "$1" in
        --host) host=$2 ;;
        --version) version=$2 ;;
        --sign) certificate=$2 ;;
        --password-file) password_file=$2 ;;
        --ca) ca=$2 ;;
        --timestamp) timestamp=$2 ;;
        *) fail "unknown option $1 (see the README)" ;;
    esac
    shift 2
done
if [ -z "$host" ] || [ "${host,,}" = localhost ]; then
    fail "a release needs the real telemetry host: --host HOST (not localhost)"
fi
if [ -n "$version" ] && ! [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
    fail "--version takes four numbers, A.B.C.D"
fi
if [ -z "$certificate" ] && { [ -n "$password_file" ] || [ -n "$timestamp" ]; }; then
    fail "--password-file and --timestamp go with --sign"
fi
# Files are named relative to where the script was called from.
signing=()
if [ -n "$certificate" ]; then
    for file in "$certificate" "$password_file"; do
        [ -z "$file" ] || [ -f "$file" ] || fail "no such file: $file"
    done
    signing=(-pkcs12 "$(realpath "$certificate")" -h sha256)
    [ -z "$password_file" ] || signing+=(-readpass "$(realpath "$password_file")")
    [ -z "$timestamp" ] || signing+=(-ts "$timestamp")
fi
ca=$(realpath -m "$ca")
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Two builds of one commit are bit-identical: the commit time stands in for the build time.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
        fail "not a git checkout: set SOURCE_DATE_EPOCH to the commit time"
fi
export SOURCE_DATE_EPOCH

scripts/setup.sh
# A failed release leaves no dist/ that could pass for one.
rm -rf dist
# Configured afresh: nothing of an earlier configuration carries over (a version stamped before, the compiler
# a folder was first configured with). Without --version, the project's own version.
version_setting=()
[ -z "$version" ] || version_setting=("-DHALVERN_VERSION=$version")
cmake --preset release --fresh "-DHALVERN_TELEMETRY_HOST=$host" "${version_setting[@]}" >/dev/null
cmake --build --preset release

staging=build/release/dist
rm -rf "$staging"
mkdir -p "$staging/licenses"
cp build/release/HalvernCleanup.exe build/release/HalvernCleanup.pdb "$staging/"
cp build/release/HalvernCleanupPreview.exe build/release/HalvernCleanupPreview.pdb "$staging/"
cp build/release/tools/HalvernDebugCapture.exe build/release/tools/HalvernDebugCapture.pdb "$staging/"
# The runtime linked into the exes: the mingw-w64 CRT and winpthreads, and GCC's libstdc++ and libgcc
# under the GCC Runtime Library Exception.
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$staging/licenses/mingw-w64-runtime-and-winpthreads.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$staging/licenses/gcc-runtime-library-exception.txt"

if [ -n "$certificate" ]; then
    for exe in HalvernCleanup.exe HalvernCleanupPreview.exe HalvernDebugCapture.exe; do
        osslsigncode sign "${signing[@]}" -n "${exe%.exe}" -in "$staging/$exe" -out "$staging/$exe.signed" \
            >/dev/null || fail "could not sign $exe"
        mv "$staging/$exe.signed" "$staging/$exe"
        osslsigncode verify -CAfile "$ca" -in "$staging/$exe" >/dev/null ||
            fail "the signature of $exe does not verify against $ca"
    done
fi
# The store holds the exes as they ship, signed or not.
python3 scripts/symbol_store.py "$staging"

(cd "$staging" && find . -type f ! -name SHA256SUMS -printf '%P\0' | LC_ALL=C sort -z | xargs -0 sha256sum >SHA256SUMS)
mv "$staging" dist
echo "dist/ holds HalvernCleanup $(grep -o 'HALVERN_VERSION:STRING=.*' build/release/CMakeCache.txt | cut -d= -f2) for $host:"
cat dist/SHA256SUMS
