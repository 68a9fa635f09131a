# Shared set-up for the project's scripts: finds CPython 3.13, installs the
# system packages the build and tests need, and keeps a virtual environment
# with the package installed in .venv inside the repository.
# Source it; it defines functions and sets REPO_ROOT and VENV_PYTHON.

set -euo pipefail

REPO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VENV_DIR="$REPO_ROOT/.venv"
VENV_PYTHON="$VENV_DIR/bin/python"
# The build tools come with the environment (requirements-build.txt).
export PATH="$VENV_DIR/bin:$PATH"

log() { printf '[vorpalyx] %s\n' "$*" >&2; }

# Prints how long building into the CMake build directory $1 takes: $2 (such
# as "about 90 s") when the directory is new, less when it was built before.
build_time() {
  if [ -f "$1/CMakeCache.txt" ]; then
    printf 'only what changed'
  else
    printf '%s' "$2"
  fi
}

is_python_313() {
  [ -x "$1" ] && "$1" -c 'import sys; sys.exit(sys.version_info[:2] != (3, 13))' 2>/dev/null
}

# Prints the path of a CPython 3.13 interpreter, or explains what was tried.
find_python_313() {
  local candidates=()
  [ -n "${PYTHON:-}" ] && candidates+=("$PYTHON")
  command -v python3.13 >/dev/null 2>&1 && candidates+=("$(command -v python3.13)")
  local pyenv_root=""
  if command -v pyenv >/dev/null 2>&1; then
    pyenv_root="$(pyenv root 2>/dev/null || true)"
  fi
  [ -z "$pyenv_root" ] && pyenv_root="${PYENV_ROOT:-$HOME/.pyenv}"
  local found
  for found in "$pyenv_root"/versions/3.13*/bin/python3.13; do
    [ -e "$found" ] && candidates+=("$found")
  done
  candidates+=(/usr/bin/python3.13 /usr/local/bin/python3.13)
  command -v python3 >/dev/null 2>&1 && candidates+=("$(command -v python3)")

  local candidate
  for candidate in "${candidates[@]}"; do
    case "$candidate" in "$VENV_DIR"/*) continue ;; esac
    if is_python_313 "$candidate"; then
      printf '%s\n' "$candidate"
      return 0
    fi
  done
  {
    echo "error: CPython 3.13 not found. Looked for:"
    echo "  \$PYTHON (${PYTHON:-unset})"
    echo "  python3.13 on PATH"
    echo "  $pyenv_root/versions/3.13*/bin/python3.13 (pyenv, selected or not)"
    echo "  /usr/bin/python3.13, /usr/local/bin/python3.13"
    echo "  python3 on PATH, if it is 3.13"
    echo "Install CPython 3.13 (e.g. 'pyenv install 3.13' or 'apt-get install python3.13-dev')"
    echo "or set PYTHON=/path/to/python3.13."
  } >&2
  return 1
}

# Installs Debian packages that are missing, when we may (root) and can.
#   ensure_debian_packages [--why "WHAT THEY ARE (HOW LONG)"] PACKAGE...
ensure_debian_packages() {
  local why="system packages"
  if [ "${1:-}" = --why ]; then
    why="$2"
    shift 2
  fi
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  [ "${#missing[@]}" -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null 2>&1; then
    log "missing system packages: ${missing[*]} (install them as root with apt-get)"
    return 1
  fi
  log "installing $why with apt-get: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Creates .venv from CPython 3.13 if needed and installs the given
# requirements files into it.
ensure_venv() {
  local fresh=0
  if ! is_python_313 "$VENV_PYTHON"; then
    fresh=1
    local python
    python="$(find_python_313)"
    # Debian's own interpreter keeps its headers and venv support apart.
    if [ "$python" = /usr/bin/python3.13 ]; then
      ensure_debian_packages --why "the CPython 3.13 headers and venv module" \
        python3.13-dev python3.13-venv
    fi
    log "creating virtual environment with $python"
    rm -rf "$VENV_DIR"
    "$python" -m venv "$VENV_DIR"
  fi
  local requirements
  for requirements in "$@"; do
    if [ "$fresh" = 1 ]; then
      log "installing the packages of $(basename "$requirements") (about 20 s)"
    fi
    "$VENV_PYTHON" -m pip install -q --disable-pip-version-check -r "$requirements"
  done
}

# Builds the extension and installs the package into .venv.
install_package() {
  local wheel_builds=("$REPO_ROOT"/build/cp313-*)
  log "building and installing vorpalyx into .venv" \
    "($(build_time "${wheel_builds[0]}" "about a minute"))"
  "$VENV_PYTHON" -m pip install -q --disable-pip-version-check \
    --no-build-isolation "$REPO_ROOT"
}

# Runs the C++ tests of the CMake build directory $1 and prints CTest's
# summary, or its whole report, with the output of the tests that failed,
# when one fails (then returns 1).
run_ctest() {
  local report
  if report="$(ctest --test-dir "$1" --output-on-failure --parallel "$(nproc)" 2>&1)"; then
    printf '%s\n' "$report" | tail -n 3
  else
    printf '%s\n' "$report" >&2
    return 1
  fi
}

# Installs clang 14 with its sanitizer runtimes, libFuzzer and symbolizer, and
# sets SANITIZER_CXX (the compiler), SANITIZER_RUNTIME (the shared ASan
# runtime that an uninstrumented interpreter must preload) and
# SANITIZER_SYMBOLIZER.
ensure_clang_toolchain() {
  ensure_debian_packages \
    --why "clang 14 and its sanitizer runtimes (about a minute)" \
    clang-14 libclang-rt-14-dev llvm-14 libgtest-dev make
  SANITIZER_CXX=/usr/bin/clang++-14
  SANITIZER_RUNTIME="$("$SANITIZER_CXX" -print-file-name="libclang_rt.asan-$(uname -m).so")"
  SANITIZER_SYMBOLIZER=/usr/lib/llvm-14/bin/llvm-symbolizer
  if [ ! -f "$SANITIZER_RUNTIME" ] || [ ! -x "$SANITIZER_SYMBOLIZER" ]; then
    log "clang 14 sanitizer runtime or llvm-symbolizer missing" \
      "(apt-get install clang-14 libclang-rt-14-dev llvm-14)"
    return 1
  fi
}
