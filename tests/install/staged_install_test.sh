#!/usr/bin/env bash
# A staged install: the files are where the README says, the menu entry and
# the software-centre metadata pass their validators, and the installed
# program keeps its files in the user's data folder (or in --dir), while a
# portable copy keeps them beside itself.
source "$(dirname "$0")/common.sh"

root="$work/root"
stage "$root"
usr="$root/usr"
[ -x "$usr/bin/vexo" ] || fail "usr/bin/vexo missing"
[ -x "$usr/bin/vexo-judge" ] || fail "usr/bin/vexo-judge missing"
[ -x "$usr/bin/vexo-cli" ] || fail "usr/bin/vexo-cli missing"
[ -x "$usr/bin/vexo-gateway" ] || fail "usr/bin/vexo-gateway missing"
# The programs' folder as installed: nothing may be added to it.
programs=$(ls "$usr/bin")
desktop="$usr/share/applications/$app_id.desktop"
metainfo="$usr/share/metainfo/$app_id.metainfo.xml"
[ -f "$desktop" ] || fail "menu entry missing"
[ -f "$metainfo" ] || fail "metainfo missing"
[ -s "$usr/share/vexo/StarterSites.ini" ] || fail "starter site list missing"
for size in 16 22 24 32 48 64 128 256; do
  icon="$usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
  file "$icon" | grep -q "PNG image data, $size x $size" || fail "icon $icon: $(file "$icon")"
done
grep -qx "Icon=$app_id" "$desktop" || fail "the entry does not name the icon"
grep -qx "Exec=vexo" "$desktop" || fail "the entry does not start vexo"

desktop-file-validate "$desktop" >"$work/validate.log" 2>&1 || fail "desktop-file-validate"
grep -qE ': (warning|error):' "$work/validate.log" && fail "desktop-file-validate complained"
# No network here: the screenshot's address is checked for its form only.
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 || fail "appstreamcli validate"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
  fail "metainfo does not launch the entry"
grep -q "docs/main-window-after-run.png</image>" "$metainfo" || fail "metainfo lacks the screenshot"
grep -q "docs/main-window-english.png</image>" "$metainfo" || fail "metainfo lacks the English screenshot"

# An installed tree with a read-only program folder.
cp -a "$root" "$work/ro"
chmod -R a-w "$work/ro"
home_ro=$(new_home home-ro)
start_vexo ro "$home_ro" "$work/ro/usr/bin/vexo"
pid_ro=$pid

# An installed tree the user could write to (root's own /usr, a prefix in
# the home folder): its program folder still stays clean.
cp -a "$root" "$work/rw"
give_to_user "$work/rw"
home_rw=$(new_home home-rw)
start_vexo rw "$home_rw" "$work/rw/usr/bin/vexo"
pid_rw=$pid

# A portable copy: the program alone in a writable folder.
mkdir "$work/portable"
cp "$usr/bin/vexo" "$work/portable/"
give_to_user "$work/portable"
home_portable=$(new_home home-portable)
start_vexo portable "$home_portable" "$work/portable/vexo"
pid_portable=$pid

# --dir wins over both, and is created when missing.
mkdir "$work/chosen"
give_to_user "$work/chosen"
home_dir=$(new_home home-dir)
start_vexo dir "$home_dir" "$work/ro/usr/bin/vexo" --dir "$work/chosen/data"
pid_dir=$pid

wait_holds "$pid_ro" "$home_ro/.local/share/vexo"
wait_holds "$pid_rw" "$home_rw/.local/share/vexo"
wait_holds "$pid_portable" "$work/portable"
wait_holds "$pid_dir" "$work/chosen/data"
for p in "$pid_ro" "$pid_rw" "$pid_portable" "$pid_dir"; do
  stop_vexo "$p"
done

# The command line follows the same rule: installed, it works in the user's
# data folder (here it finds no site list there, and says where it looked).
home_cli=$(new_home home-cli)
set +e
env -i PATH=/usr/bin:/bin HOME="$home_cli" "${run_as[@]}" "$work/ro/usr/bin/vexo-cli" leech \
  >"$work/cli.log" 2>&1
cli_status=$?
set -e
[ "$cli_status" -eq 1 ] || fail "vexo-cli leech without a site list ended with $cli_status"
grep -q "\"$home_cli/.local/share/vexo/Sites.ini\". No such file" "$work/cli.log" ||
  fail "vexo-cli did not look in the user's data folder"

expect_used "$home_ro/.local/share/vexo"
expect_used "$home_rw/.local/share/vexo"
expect_used "$work/portable"
expect_used "$work/chosen/data"
[ "$(ls "$work/ro/usr/bin")" = "$programs" ] || fail "files written beside a read-only program"
[ "$(ls "$work/rw/usr/bin")" = "$programs" ] || fail "files written beside an installed program"
[ ! -e "$home_portable/.local" ] || fail "a portable copy wrote into the home folder"
[ ! -e "$home_dir/.local" ] || fail "--dir did not win over the user's data folder"
echo "staged install: ok"
