# Sourced by the build scripts: installs the named Debian packages when any
# of them is missing, running `apt-get update` once first.
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
}

# What building the project needs.
BUILD_PACKAGES=(g++ cmake ninja-build pkg-config zlib1g-dev libmspack-dev libarchive-dev qt6-base-dev xvfb xauth)
# What the test suites need besides: GoogleTest, Google Benchmark and the
# archivers whose output we read and which read ours, and xdg-utils, whose
# xdg-mime checks the desktop associations.
TEST_PACKAGES=(libgtest-dev libbenchmark-dev clang libclang-rt-14-dev tzdata
  zip unzip p7zip-full libarchive-tools gzip pigz tar ncompress arj lhasa jlha-utils
  nomarch unar cabextract gcab sharutils unace xdg-utils)
