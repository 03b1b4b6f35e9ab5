#!/usr/bin/env bash
# The main job: installs dependencies, builds, installs into out/ and shows what
# runs so far: the agent starts hidden in a desktop session of its own, the
# simulated user lists the session's windows, and the agent closes in order.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX="$PWD/out" >/dev/null
cmake --build build -j "$(nproc)"
cmake --install build >/dev/null
echo
echo "Installed into $PWD/out:"
find out -type f | sort | sed 's/^/  /'

demo=$(mktemp -d /tmp/vexlo-demo-XXXXXX)
agent_pid=""
cleanup() {
    [ -n "$agent_pid" ] && kill "$agent_pid" 2>/dev/null || true
    rm -rf "$demo"
}
trap cleanup EXIT
export W32_SESSION="$demo/session" APPDATA="$demo/appdata"
mkdir -p "$APPDATA/VexloDesktop"
printf '[settings]\ntrace-level=4\n' > "$APPDATA/VexloDesktop/settings.ini"

echo
echo "Starting the agent in a private desktop session ($W32_SESSION)..."
out/bin/agent_vexlo &
agent_pid=$!
for _ in $(seq 50); do
    out/bin/desktop-user list | grep -q VexloDesktopClass && break
    sleep 0.1
done
echo "Windows of the session, as the simulated user sees them:"
out/bin/desktop-user list | sed 's/^/  /'
echo
echo "Closing the agent (WM_CLOSE)..."
out/bin/desktop-user close class=VexloDesktopClass || kill "$agent_pid"
wait "$agent_pid" && echo "The agent ended with exit code 0." || echo "The agent ended with exit code $?."
agent_pid=""
echo
echo "Its settings file, written on the way out:"
sed 's/^/  /' "$APPDATA/VexloDesktop/settings.ini"
echo "Its log:"
sed 's/^/  /' "$APPDATA/VexloDesktop/vexlo-plugin.log"
