#!/usr/bin/env bash
# Installs a built tree into a temporary DESTDIR and checks the files and their freedesktop.org
# metadata, then makes the Debian package with CPack from the same tree and checks its files,
# its dependencies, and that the unpacked brimvale-cli runs. Nothing is installed on this machine.
#   packaging.sh BUILD-DIR VERSION
set -uo pipefail
source "$(dirname "$0")/deb.sh"
build=$1
version=$2

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0
fail()
{
    echo "FAIL: $*"
    failures=$((failures + 1))
}
for tool in desktop-file-validate appstreamcli dpkg-deb dpkg-shlibdeps help2man; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/setup --test installs it)"; exit 1; }
done

expected_files()
{
    local prefix=$1 size
    printf '%s\n' "$prefix/bin/brimvale" "$prefix/bin/brimvale-cli" \
        "$prefix/share/applications/io.brimvale.Brimvale.desktop" \
        "$prefix/share/bash-completion/completions/brimvale-cli" \
        "$prefix/share/doc/brimvale/changelog.gz" "$prefix/share/doc/brimvale/copyright" \
        "$prefix/share/icons/hicolor/scalable/apps/io.brimvale.Brimvale.svg" \
        "$prefix/share/man/man1/brimvale.1.gz" "$prefix/share/man/man1/brimvale-cli.1.gz" \
        "$prefix/share/metainfo/io.brimvale.Brimvale.metainfo.xml" \
        "$prefix/share/brimvale/translations/brimvale_de.qm" \
        "$prefix/share/brimvale/translations/brimvale_en.qm"
    for size in 16 22 24 32 48 64 128 256; do
        echo "$prefix/share/icons/hicolor/${size}x$size/apps/io.brimvale.Brimvale.png"
    done
}

echo "== install into DESTDIR"
DESTDIR=$root/dest cmake --install "$build" --prefix /usr >"$root/install.log" ||
    { cat "$root/install.log"; exit 1; }
installed=$(cd "$root/dest" && find . -type f | sed 's#^\.##' | sort)
wanted=$(expected_files /usr | sort)
[[ $installed == "$wanted" ]] || fail "installed files differ:$(diff <(echo "$wanted") <(echo "$installed"))"
desktop-file-validate "$root/dest/usr/share/applications/io.brimvale.Brimvale.desktop" ||
    fail "desktop-file-validate"
appstreamcli validate --no-net "$root/dest/usr/share/metainfo/io.brimvale.Brimvale.metainfo.xml" ||
    fail "appstreamcli validate"
grep -qx 'StartupWMClass=Brimvale' "$root/dest/usr/share/applications/io.brimvale.Brimvale.desktop" ||
    fail "StartupWMClass"
[[ $(od -An -tu1 -j16 -N8 "$root/dest/usr/share/icons/hicolor/48x48/apps/io.brimvale.Brimvale.png" | tr -s ' ') == " 0 0 0 48 0 0 0 48" ]] ||
    fail "the 48 px icon is not 48 by 48"

echo "== Debian package"
deb=$(make_deb "$build" "$root/deb" "$version") || { fail "making the package"; exit 1; }
packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's#^\.##' | sort)
[[ $packaged == "$wanted" ]] || fail "packaged files differ:$(diff <(echo "$wanted") <(echo "$packaged"))"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for package in libqt6core6 libqt6widgets6 libqt6svg6 qt6-qpa-plugins libxxhash0 libc6; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package"
done
info=$(dpkg-deb -I "$deb")
grep -q '^ Recommends: qt6-wayland, qt6-translations-l10n$' <<<"$info" || fail "Recommends lacks qt6-wayland or Qt's translations"
grep -q '^ Architecture: amd64$' <<<"$info" || fail "Architecture"
dpkg-deb -x "$deb" "$root/unpacked" || fail "dpkg-deb -x"
reported=$("$root/unpacked/usr/bin/brimvale-cli" --version)
[[ $reported == "brimvale-cli $version" ]] || fail "unpacked brimvale-cli --version said '$reported'"

[[ $failures -eq 0 ]] && echo "packaging: all checks passed"
exit $((failures > 0))
