#!/usr/bin/env bash
# Builds lanpanel and the relay simulator pq4820-sim (Release, build/release), points lanpanel at
# the simulator (127.0.0.1, station address 1), starts the simulator in the background and
# lanpanel in the foreground, and stops the simulator when lanpanel is closed.
# The simulator keeps calling until lanpanel listens: press 启动服务 whenever you are ready.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${RELAY_SKIP_BUILD:-}" ]; then
    scripts/install-deps.sh
    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DRELAY_BUILD_TESTS=OFF
    cmake --build build/release -j"$(nproc)" --target lanpanel pq4820-sim
fi

app=build/release/app/lanpanel
sim=build/release/bin/pq4820-sim
# A fresh INI would give address 0.0.0.0 and station 0, which the relay's address filter and the
# station check would refuse; the simulator calls from 127.0.0.1 as station 1.
mkdir -p "$app/配置文件"
printf '[Device]\r\nLastDevIP1=127\r\nLastDevIP2=0\r\nLastDevIP3=0\r\nLastDevIP4=1\r\nLastDevRTU=1\r\n' \
    >"$app/配置文件/网口面板.ini"

log=build/release/pq4820-sim.log
"$sim" --host 127.0.0.1 --address 1 >"$log" 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
echo "pq4820-sim runs in the background (its log: $log); press 启动服务 in lanpanel."

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: lanpanel needs one (on a headless machine: xvfb-run -a $0)." >&2
fi
"$app/lanpanel"
