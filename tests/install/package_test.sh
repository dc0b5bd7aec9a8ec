#!/usr/bin/env bash
# The Debian package: it builds with its dependencies found by
# dpkg-shlibdeps and holds the program, the menu entry, the metadata and the
# icons.
source "$(dirname "$0")/common.sh"

cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed"
debs=("$work"/out/*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single .deb made"
deb=${debs[0]}

dpkg-deb --contents "$deb" | awk '{print $NF}' >"$work/contents.log"
expect_in_package() {
  grep -qx "$1" "$work/contents.log" || fail "$1 is not in the package"
}
expect_in_package ./usr/bin/vexo
expect_in_package ./usr/bin/vexo-judge
expect_in_package ./usr/bin/vexo-cli
expect_in_package ./usr/bin/vexo-gateway
expect_in_package "./usr/share/applications/$app_id.desktop"
expect_in_package "./usr/share/metainfo/$app_id.metainfo.xml"
expect_in_package "./usr/share/vexo/StarterSites.ini"
for size in 16 22 24 32 48 64 128 256; do
  expect_in_package "./usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
done

[ "$(dpkg-deb -f "$deb" Package)" = vexo ] || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6core6 libqt6widgets6 libqt6network6; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
# The container recipe builds from this package: it copies only files that
# the package build makes, and starts a program the package holds.
containerfile="$source_dir/packaging/container/Containerfile"
[ "$(awk 'toupper($1) == "FROM" {print $2; exit}' "$containerfile")" = debian:bookworm-slim ] ||
  fail "the Containerfile is not based on debian:bookworm-slim"
copies=0
while read -r -a words; do
  sources=("${words[@]:1:${#words[@]}-2}")
  for src in "${sources[@]}"; do
    [[ $src == --* ]] && continue
    copies=$((copies + 1))
    [[ $src == build/package/* ]] || fail "the Containerfile copies $src, which the package build does not make"
    # shellcheck disable=SC2053 # the source is a pattern
    [[ $(basename "$deb") == $(basename "$src") ]] || fail "$src does not match $(basename "$deb")"
  done
done < <(awk 'toupper($1) == "COPY" || toupper($1) == "ADD"' "$containerfile")
[ "$copies" -gt 0 ] || fail "the Containerfile copies no package"
entry=$(sed -n 's/^ENTRYPOINT \["\([^"]*\)".*/\1/p' "$containerfile")
[ -n "$entry" ] && expect_in_package ".$entry"

echo "package: ok ($(basename "$deb"), Depends: $depends)"
