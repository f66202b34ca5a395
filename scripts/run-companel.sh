#!/usr/bin/env bash
# Installs what is missing, builds companel and the relay simulator (Release) into
# build/release, starts the simulator on a pseudo-terminal that companel reaches as its port
# COM2 (the port a first start opens), and runs companel. The simulator stops with companel.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
if [ -z "${RELAY_SKIP_BUILD:-}" ]; then
    scripts/install-deps.sh
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRELAY_BUILD_TESTS=OFF
    cmake --build "$build" -j"$(nproc)" --target companel vkd2950-sim
fi

app="$build/app/companel"
sim="$build/bin/vkd2950-sim"
link="$app/ports/COM2"
mkdir -p "$app/ports"
# A link left by an earlier run points at a pseudo-terminal that is gone; a link to a real
# device is the user's own and stays.
if [ -L "$link" ] && [[ "$(readlink "$link")" == /dev/pts/* ]]; then
    rm -f "$link"
fi

sim_pid=""
stop_sim() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
}
trap stop_sim EXIT

if [ -x "$sim" ]; then
    "$sim" --link "$link" &
    sim_pid=$!
    for _ in $(seq 50); do
        [ -e "$link" ] && break
        sleep 0.1
    done
    [ -e "$link" ] || echo "run: the simulator did not create $link; companel starts without a relay" >&2
else
    echo "run: $sim is not built; companel starts without a relay" >&2
fi

"$app/companel"
