# Shared by the scripts: the Debian packages the project needs and how they
# are installed. Sourced, not run.

# Needed to build and run the program.
HG_RUN_PACKAGES="build-essential cmake ninja-build pkg-config qt6-base-dev libqt6opengl6-dev
  libgl-dev libpulse-dev libfftw3-dev libinih-dev libgl1-mesa-dri fonts-dejavu-core"
# Needed on top of that to build and pass the tests.
HG_TEST_PACKAGES="libgtest-dev libbenchmark-dev xvfb xauth pulseaudio pulseaudio-utils
  glslang-tools"

hg_root() { cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd; }

# hg_install PACKAGE... : installs what is missing, through sudo when not root.
hg_install() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# hg_build DIR [CMAKE ARGS...] : configures (once) and builds into DIR.
hg_build() {
  local dir=$1; shift
  cmake -S "$(hg_root)" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" --parallel "$(nproc)"
}
