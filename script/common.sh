# Sourced by the scripts beside it: Debian package installation and the preset steps.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

# The Debian packages among "$@" that are not installed yet.
missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"
  done
}

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"
  elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then sudo "$@"
  else return 1
  fi
}

apt_updated=
# Installs the missing packages among "$@", saying which first; fails when that is not possible.
install_packages() {
  local missing
  missing=$(missing_packages "$@" | tr '\n' ' ')
  [ -n "${missing// }" ] || return 0
  echo "Installing Debian packages: $missing" >&2
  if [ -z "$apt_updated" ]; then
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q >&2 || return 1
    apt_updated=1
  fi
  # shellcheck disable=SC2086
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing >&2
}

build_packages=(cmake g++ ninja-build doctest-dev)
windows_packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 wine32:i386)

# The cross compilers and Wine; 32-bit Wine needs Debian's i386 architecture enabled first.
install_windows_packages() {
  [ -n "$(missing_packages "${windows_packages[@]}")" ] || return 0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Enabling Debian's i386 architecture, for 32-bit Wine" >&2
    as_root dpkg --add-architecture i386 || return 1
    apt_updated=
  fi
  install_packages "${windows_packages[@]}"
}

# Configures and builds one preset; warnings are errors in CI.
build_preset() {
  local werror=()
  [ "${CI:-}" = true ] && werror=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)
  cmake --preset "$1" "${werror[@]}" >&2
  cmake --build --preset "$1" >&2
}
