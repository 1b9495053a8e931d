#!/bin/sh
# "cmake --install" into an empty prefix gives a working installation: the
# programs, the shared files where the programs look for them, the manual
# pages, the desktop entry and its icon; the installed batch tool runs an
# installed sample from a folder far from the build and the sources.
#   installed_tree_test.sh CMAKE BUILD_DIR WORK_DIR WITH_GUI(0|1)
set -eu
cmake=$1 build=$2 work=$3 gui=$4
prefix=$work/prefix

rm -rf "$work"
mkdir -p "$work/elsewhere"
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }

missing=0
expect() {
  for path in "$@"; do
    if [ ! -e "$prefix/$path" ]; then
      echo "missing from the installation: $path"
      missing=1
    fi
  done
}
expect bin/membrix-cli \
  share/membrix/resources/samples/Hodgkin_AP.id share/membrix/resources/samples/Hodgkin_AP_1.d \
  share/membrix/resources/thresholds/lyle_threshold_table.dat share/membrix/resources/ramps/model_ramps.txt \
  share/membrix/docs/README.md share/membrix/docs/cli.md \
  share/doc/membrix/LICENSE share/doc/membrix/CITATION.cff share/doc/membrix/third_party.md \
  share/man/man1/membrix-cli.1 share/man/man1/membrix-cli-fi.1 share/man/man1/membrix-cli-run.1 \
  share/man/man1/membrix-cli-map.1
if [ "$gui" = 1 ]; then
  expect bin/membrix share/membrix/docs/workbench.md share/man/man1/membrix.1 \
    share/applications/membrix.desktop share/icons/hicolor/scalable/apps/membrix.svg
fi
# Every subcommand has its page, and the page is its own.
for command in $("$prefix/bin/membrix-cli" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p'); do
  page=$prefix/share/man/man1/membrix-cli-$command.1
  expect "share/man/man1/membrix-cli-$command.1"
  if [ -e "$page" ] && ! grep -q "^membrix-cli-$command \\\\- " "$page"; then
    echo "$page does not name membrix-cli-$command"
    missing=1
  fi
done
# The tables and the help are shared files, not the source tree's tools.
if [ -e "$prefix/share/membrix/resources/thresholds/make_threshold_tables.py" ] ||
   [ -e "$prefix/share/membrix/resources/desktop" ]; then
  echo "the generator scripts or the desktop folder were installed under share/membrix/resources"
  missing=1
fi
[ "$missing" = 0 ] || exit 1

cd "$work/elsewhere"
"$prefix/bin/membrix-cli" run --id "$prefix/share/membrix/resources/samples/Hodgkin_AP.id" --smpl 2 --json
