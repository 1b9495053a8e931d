#!/bin/sh
# The Debian package of a built tree: "cpack -G DEB" makes it, it holds the
# programs, the shared files, the manual pages and the Python module under
# /usr, it depends on the runtime packages of the libraries linked, and,
# unpacked into an empty root, its batch tool runs an installed sample and its
# module imports.
#   package_test.sh CPACK BUILD_DIR WORK_DIR WITH_GUI(0|1) PYTHON(or empty) PYTHON_DIR
set -eu
cpack=$1 build=$2 work=$3 gui=$4 python=$5 python_dir=$6

rm -rf "$work"
mkdir -p "$work/elsewhere"
# gzip rather than the package's xz: the contents are checked, not the size.
"$cpack" -G DEB -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/membrix_*.deb)
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" | sed 's/.* \.\//\//' >"$work/contents"
missing=0
expect() {
  for path in "$@"; do
    grep -qx "$path" "$work/contents" || { echo "not in the package: $path"; missing=1; }
  done
}
expect /usr/bin/membrix-cli /usr/share/membrix/resources/samples/Hodgkin_AP.id /usr/share/membrix/docs/cli.md \
  /usr/share/man/man1/membrix-cli.1 /usr/share/man/man1/membrix-cli-fi.1 /usr/share/doc/membrix/LICENSE
[ "$gui" = 0 ] || expect /usr/bin/membrix /usr/share/man/man1/membrix.1 /usr/share/applications/membrix.desktop \
  /usr/share/icons/hicolor/scalable/apps/membrix.svg
[ -z "$python" ] || expect "/usr/$python_dir/membrix/__init__.py"
# Nothing outside /usr, and nothing of the build tree.
if grep -v '^/usr/' "$work/contents" | grep -v '^/$' | grep -q .; then
  echo "outside /usr:"; grep -v '^/usr/' "$work/contents" | grep -v '^/$'; missing=1
fi
if grep -q 'membrix-tests\|membrix-bench\|membrix-ui-' "$work/contents"; then
  echo "a test or benchmark program is in the package"; missing=1
fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libtbb libnlopt libsundials-cvode libnettle libpugixml; do
  echo "$depends" | grep -q "$library" || { echo "Depends lacks $library"; missing=1; }
done
[ "$gui" = 0 ] || for package in libqt6widgets6 libqcustomplot qt6-qpa-plugins; do
  echo "$depends" | grep -q "$package" || { echo "Depends lacks $package"; missing=1; }
done
[ -z "$python" ] || echo "$depends" | grep -q "python3-numpy" || { echo "Depends lacks python3-numpy"; missing=1; }
[ "$missing" = 0 ] || exit 1

dpkg-deb -x "$deb" "$work/root"
cd "$work/elsewhere"
if [ -n "$python" ]; then
  PYTHONPATH="$work/root/usr/$python_dir" "$python" -c \
    'import membrix; print("module:", membrix.__file__); membrix.Session().run(t_end_ms=1)'
fi
"$work/root/usr/bin/membrix-cli" run --id "$work/root/usr/share/membrix/resources/samples/Hodgkin_AP.id" --smpl 2 --json
