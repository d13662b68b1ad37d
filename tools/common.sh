# Shared by run.sh and test.sh: package check and build helpers.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

ensure_packages() {
    local missing=()
    while read -r pkg; do
        [[ -z "$pkg" || "$pkg" == \#* ]] && continue
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$pkg")
    done <"$ROOT/tools/packages.txt"
    [[ ${#missing[@]} -eq 0 ]] && return 0
    if [[ $(id -u) -ne 0 ]]; then
        echo "Missing packages. Install them with:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq || true
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# configure_and_build <build dir> <cmake options...>
configure_and_build() {
    local dir=$1
    shift
    # Configured every time: a build folder made with other options takes
    # these.
    if [[ ! -f "$dir/build.ninja" ]]; then
        cmake -S "$ROOT" -B "$dir" -G Ninja "$@"
    else
        cmake -S "$ROOT" -B "$dir" "$@" >/dev/null
    fi
    cmake --build "$dir" -j"$(nproc)"
}
