# Shared by the packaging scripts (sourced): makes the Debian package with CPack from a build
# tree into a folder of its own, as a release would.
#   make_deb BUILD-DIR OUT-DIR VERSION   prints the package's path; on failure CPack's log
make_deb()
{
    local build=$1 out=$2 version=$3
    mkdir -p "$out"
    (cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log" >&2; return 1; }
    local deb=$out/brimvale_${version}_amd64.deb
    [[ -f $deb ]] || { echo "no $(basename "$deb") in $out: $(ls "$out")" >&2; return 1; }
    echo "$deb"
}
