#!/usr/bin/env bash
# The main job: installs dependencies, builds, installs into out/ and scans a
# page from a web page end to end, in a private desktop session:
#   - the local fax service listens on a free port;
#   - a virtual TWAIN scanner holds a synthetic A4 page at 300 dpi;
#   - the simulated user presses Scan when the scanner's dialog appears;
#   - the browser host runs examples/scan.html, whose script loads the
#     plug-in, starts the desktop agent, scans and prints every status;
#   - then examples/print.html prints a two-page document that the fax service
#     renders, on the session's default printer (A4, 600 dpi), the simulated
#     user pressing Print in the print dialog;
#   - then the browser host's Internet Explorer mode registers the IE add-on
#     (per machine, in the session's registry) and runs examples/ie-scan.html,
#     which scans a second page through the add-on's window._vexlo_bho;
#   - last, the simulated user ends the agent from its tray menu.
# It shows where the uploaded pages and the printed sheets lie, and stops
# every process it started.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX="$root/out" >/dev/null
cmake --build build -j "$(nproc)"
cmake --install build >/dev/null
echo
echo "Installed into $root/out:"
find out -type f | sort | sed 's/^/  /'

demo=$(mktemp -d /tmp/vexlo-demo-XXXXXX)
pids=()
cleanup() {
    # The agent first, in order; then whatever is still running.
    if [ -n "${W32_SESSION:-}" ] && out/bin/desktop-user list 2>/dev/null | grep -q VexloDesktopClass; then
        out/bin/desktop-user close class=VexloDesktopClass >/dev/null 2>&1 || true
        sleep 1
    fi
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    pkill -f "^$root/out/bin/agent_vexlo" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$demo"
}
trap cleanup EXIT
export W32_SESSION="$demo/session" APPDATA="$demo/appdata"
export PATH="$root/out/bin:$PATH"  # where the plug-in finds agent_vexlo
mkdir -p "$APPDATA/VexloDesktop" "$W32_SESSION" "$demo/fax-pages"
chmod 700 "$W32_SESSION"

echo
echo "Starting the local fax service..."
out/bin/fax-service --port=0 --pages="$demo/fax-pages" --log="$demo/fax-service.log" >"$demo/fax-service.out" &
pids+=($!)
for _ in $(seq 100); do
    [ -s "$demo/fax-service.out" ] && break
    sleep 0.05
done
port=$(head -n1 "$demo/fax-service.out")
endpoint="http://127.0.0.1:$port/services/vexloplugin"
echo "  listening at $endpoint"

printf '[settings]\ntrace-level=4\nsoap-server=%s\n' "$endpoint" >"$APPDATA/VexloDesktop/settings.ini"
cat >"$W32_SESSION/twain-sources" <<'SOURCES'
[source]
name = Demo A4 Scanner
manufacturer = Vexlo Virtual Devices
x-resolution = enumeration fix32 150 300 600
resolution = 300
# one grey A4 sheet at 300 dpi
page = 8 2480 3508
SOURCES
echo "Virtual TWAIN scanner: \"Demo A4 Scanner\", one A4 page at 300 dpi."

cat >"$demo/user-rules" <<'RULES'
# The person at the screen presses Scan in the scanner's dialog.
when title="Demo A4 Scanner" press Scan after 300
# ... and Print in the print dialog.
when class=#32770 title=Print press Print after 300
RULES
out/bin/desktop-user run "$demo/user-rules" 60 >"$demo/desktop-user.out" 2>&1 &
pids+=($!)

echo
echo "Running examples/scan.html in the browser host:"
set +e
out/bin/browser-host --timeout 60 examples/scan.html | sed 's/^/  page: /'
status=${PIPESTATUS[0]}
set -e
echo
echo "Running examples/print.html in the browser host:"
set +e
out/bin/browser-host --timeout 60 examples/print.html | sed 's/^/  page: /'
printStatus=${PIPESTATUS[0]}
set -e
echo
echo "Running examples/ie-scan.html in the browser host's Internet Explorer mode:"
set +e
out/bin/browser-host --ie --register --timeout 60 examples/ie-scan.html 2>&1 |
    sed -e 's/^browser-host: /  host: /;t' -e 's/^/  page: /'
ieStatus=${PIPESTATUS[0]}
set -e
echo
echo "What the simulated user did:"
sed 's/^/  /' "$demo/desktop-user.out"
echo
echo "The fax service's calls:"
sed 's/^/  /' "$demo/fax-service.log"
echo
pages=$(find "$demo/fax-pages" -type f | wc -l)
if [ "$status" -eq 0 ] && [ "$ieStatus" -eq 0 ] && [ "$pages" -eq 2 ]; then
    keep="$root/out/fax-pages"
    rm -rf "$keep" && mkdir -p "$keep"
    cp "$demo"/fax-pages/* "$keep/"
    echo "The uploaded pages (one from each page), as the fax service received them:"
    for page in "$keep"/*; do
        echo "  $page ($(stat -c %s "$page") bytes; $(identify -format '%wx%h pixels, %[colorspace] %[bit-depth]-bit, %x x %y' "$page" 2>/dev/null || echo 'PNG'))"
    done
else
    echo "A scan did not complete (page exit statuses $status and $ieStatus, $pages pages uploaded). The agent's log:"
    sed 's/^/  /' "$APPDATA/VexloDesktop/vexlo-plugin.log" || true
    exit 1
fi
echo
sheets=$(find "$W32_SESSION/spool" -name 'sheet-*.png' 2>/dev/null | sort)
if [ "$printStatus" -eq 0 ] && [ -n "$sheets" ]; then
    keep="$root/out/printed"
    rm -rf "$keep" && mkdir -p "$keep"
    for job in "$W32_SESSION"/spool/*; do
        mkdir -p "$keep/$(basename "$job")"
        cp "$job"/* "$keep/$(basename "$job")/"
    done
    echo "The printed sheets, as the session's default printer spooled them (job.txt lists every drawing call):"
    find "$keep" -name 'sheet-*.png' | sort | while read -r sheet; do
        echo "  $sheet ($(identify -format '%wx%h pixels' "$sheet" 2>/dev/null || echo 'PNG'), the A4 sheet at 1/8 scale)"
    done
else
    echo "The print did not complete (page exit status $printStatus). The agent's log:"
    sed 's/^/  /' "$APPDATA/VexloDesktop/vexlo-plugin.log" || true
    exit 1
fi

# The demo's last step: the person at the screen sees the agent's icon in the
# notification area and ends the agent from its menu.
echo
echo "The agent in the notification area:"
out/bin/desktop-user tray | sed 's/^/  /'
out/bin/desktop-user tray-click "Агент Vexlo" right
out/bin/desktop-user menu "Выход"
for _ in $(seq 100); do
    out/bin/desktop-user list | grep -q VexloDesktopClass || break
    sleep 0.05
done
if out/bin/desktop-user list | grep -q VexloDesktopClass; then
    echo "  the agent did not end from its tray menu"
    exit 1
fi
echo "  \"Выход\" in the tray menu ended the agent; the notification area now holds:"
icons=$(out/bin/desktop-user tray)
echo "${icons:-no icon}" | sed 's/^/  /'
