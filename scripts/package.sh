#!/usr/bin/env bash
# Builds the Debian package from the tree with dpkg-buildpackage and checks it with lintian; the
# .deb (with its debug symbols, .buildinfo and .changes) ends up in dist/. The tests are left out
# of the package build (scripts/test.sh runs them); KJ_PACKAGE_CHECK=1 runs them there too.
# Install the result with: apt install ./dist/kelvane-joiner_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# The package's version is the project's version: refuse to build when they have drifted apart.
project_version=$(sed -n 's/^project(KelvaneJoiner VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
package_version=$(dpkg-parsechangelog -S Version)
if [ "${package_version%%-*}" != "$project_version" ]; then
  echo "package.sh: debian/changelog says $package_version, CMakeLists.txt says $project_version" >&2
  exit 1
fi

build_options="parallel=$(nproc)"
profiles=()
if [ "${KJ_PACKAGE_CHECK:-0}" != 1 ]; then
  build_options="nocheck $build_options"
  profiles=(-Pnocheck)
fi

# dpkg-buildpackage writes its results beside the tree; they are moved into dist/ at once.
parent=$(cd .. && pwd)
arch=$(dpkg --print-architecture)
stem="kelvane-joiner_${package_version}"
rm -f "$parent/${stem}_${arch}".{deb,changes,buildinfo} "$parent/kelvane-joiner-dbgsym_${package_version}_${arch}.deb"
DEB_BUILD_OPTIONS="$build_options" dpkg-buildpackage -us -uc -b "${profiles[@]}"

rm -rf dist
mkdir -p dist
for file in "${stem}_${arch}.deb" "${stem}_${arch}.changes" "${stem}_${arch}.buildinfo" \
            "kelvane-joiner-dbgsym_${package_version}_${arch}.deb" \
            "kelvane-joiner-dbgsym_${package_version}_${arch}.ddeb"; do
  if [ -e "$parent/$file" ]; then mv "$parent/$file" dist/; fi
done
debian/rules clean >/dev/null

echo "== dpkg -c dist/${stem}_${arch}.deb"
dpkg -c "dist/${stem}_${arch}.deb"
echo "== lintian"
lintian --fail-on error --display-info --pedantic "dist/${stem}_${arch}.changes"
echo "package.sh: dist/${stem}_${arch}.deb"
