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

# bench_board_and_seconds <default seconds> [--board N] [seconds]: sets BOARD
# (default 52) and DURATION from a benchmark's arguments.
bench_board_and_seconds() {
    DURATION=$1
    shift
    BOARD=52
    while [[ $# -gt 0 ]]; do
        case $1 in
            --board)
                BOARD=$2
                shift 2
                ;;
            *)
                DURATION=$1
                shift
                ;;
        esac
    done
}

# Benchmarks run as root in a private network namespace: installs the
# Debian packages named (when missing) and the release build, then runs the
# calling script again inside a new namespace. Returns in that namespace.
bench_enter_netns() {
    if [[ "${BENCH_IN_NETNS:-}" == 1 ]]; then
        return 0
    fi
    if [[ $(id -u) -ne 0 ]]; then
        echo "$(basename "$0") needs root for its network namespace" >&2
        exit 1
    fi
    local need=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
            need+=("$pkg")
    done
    if [[ ${#need[@]} -gt 0 ]]; then
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq || true
        apt-get install -y -qq --no-install-recommends "${need[@]}"
    fi
    ensure_packages
    configure_and_build "$ROOT/build/release" -DCMAKE_BUILD_TYPE=Release -DSWITCHFW_TESTS=OFF >&2
    BENCH_IN_NETNS=1 exec unshare --net "$0" "${BENCH_ARGS[@]}"
}

# Inside the namespace: loopback up, a work folder WORK, and the processes
# whose ids are added to PIDS stopped on exit.
bench_workspace() {
    ip link set lo up
    WORK=$(mktemp -d)
    chmod 755 "$WORK"
    PIDS=()
    trap bench_cleanup EXIT
}

# bench_namespaces <label>...: one network namespace per label, named with
# this run's own work folder so that two runs cannot collide; SPACES holds
# their names. They are removed on every way out, an interrupt included.
bench_namespaces() {
    SPACES=()
    trap 'bench_remove_namespaces; bench_cleanup' EXIT
    trap 'exit 130' INT TERM HUP
    local label
    for label in "$@"; do
        SPACES+=("sw-$label-${WORK##*.}")
        ip netns add "${SPACES[-1]}"
        ip netns exec "${SPACES[-1]}" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 \
            net.ipv6.conf.default.disable_ipv6=1
    done
}

bench_remove_namespaces() {
    local space
    for space in "${SPACES[@]}"; do ip netns del "$space" 2>/dev/null || true; done
}

bench_cleanup() {
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
