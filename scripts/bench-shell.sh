#!/usr/bin/env bash
# Memory, wakeups, start-up and the popover's opening time of the running
# instance against bare Qt programs, under Xvfb in a private session (run by
# scripts/bench.sh, or alone after a Release build into build-bench). Prints
# each figure and its target. QUILLMERE_OPEN_RUNS sets how many runs the
# opening times are the median of (default 7).
#   scripts/bench-shell.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
if [ -z "${QUILLMERE_IN_SESSION:-}" ]; then
  exec "$root/scripts/with-session.sh" "$0" "$build"
fi
app="$build/src/app/quillmere-menubar"
server="$build/devserver/quillmere-devserver"
release_ms=20000
open_runs=${QUILLMERE_OPEN_RUNS:-7}

rss() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; } # KiB
parts() { awk '/^RssAnon/ {a = $2} /^RssFile/ {f = $2} END {printf "(anonymous %d KiB, file-backed %d KiB)", a, f}' "/proc/$1/status"; }
threads() { # "TID SWITCHES" for every thread of a process
  for t in /proc/"$1"/task/*; do
    echo "${t##*/} $(awk '/ctxt_switches/ {n += $2} END {print n}' "$t/status" 2>/dev/null)"
  done
}
wakeups() { # context switches between two thread listings; a thread that came counts whole, one that went once
  python3 - "$1" "$2" <<'PY'
import sys
def read(path):
    return {t: int(n) for t, n in (line.split() for line in open(path) if len(line.split()) == 2)}
a, b = read(sys.argv[1]), read(sys.argv[2])
print(sum(b[t] - a.get(t, 0) for t in b) + sum(1 for t in a if t not in b))
PY
}
ratio() { python3 -c "print('%.2f' % ($1 / $2))"; }
median_ms() { # runs a command N times and prints the median wall time in ms
  local n=$1; shift
  python3 - "$n" "$@" <<'PY'
import subprocess, sys, time, statistics
n, cmd = int(sys.argv[1]), sys.argv[2:]
subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)  # warm the page cache
times = []
for _ in range(n):
    t = time.perf_counter()
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    times.append((time.perf_counter() - t) * 1000)
print('%.2f' % statistics.median(times))
PY
}

export QUILLMERE_KEYCHAIN=memory QUILLMERE_VIEW_RELEASE_MS=$release_ms
mkdir -p "$XDG_CONFIG_HOME/quillmere-menubar"
printf '[General]\nrefreshMinutes=60\n' >"$XDG_CONFIG_HOME/quillmere-menubar/settings.ini"

log=$(mktemp)
"$server" --port 0 >"$log" 2>&1 &
server_pid=$!
pids=("$server_pid")
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -f "$log" "$log".*' EXIT
for _ in $(seq 100); do grep -q 'listening on' "$log" && break; sleep 0.1; done
base=$(sed -n 's/.*listening on \(http[^ ]*\).*/\1/p' "$log" | head -n1)

"$app" --server "$base" 2>/dev/null &
instance=$!
pids+=("$instance")
# Commands go to the instance once it owns its name (before that, a command
# would start an instance of its own).
for _ in $(seq 100); do
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    string:com.velmorcraft.quillmere.menubar 2>/dev/null | grep -q 'boolean true' && break
  sleep 0.1
done
"$app" --server "$base" --connect "$base/embed/nw-7Hq2XbLk" </dev/null
sleep 5
idle=$(rss "$instance")
idle_parts=$(parts "$instance")

# Runs a bare program for a few seconds and sets bare_rss and bare_parts.
measure_bare() {
  "$@" &
  local pid=$!
  pids+=("$pid")
  sleep 5
  bare_rss=$(rss "$pid")
  bare_parts=$(parts "$pid")
  kill "$pid"
}
measure_bare "$build/bench/baseline_app" "$base/"
idle_bare_rss=$bare_rss

echo "== idle, popover never opened"
echo "instance RSS ${idle} KiB $idle_parts; bare QGuiApplication + network manager + bus ${bare_rss} KiB $bare_parts;" \
  "ratio $(ratio "$idle" "$bare_rss") (target <= 1.2)"

echo "== wakeups with the popover closed and no refresh due (60 s)"
threads "$instance" >"$log.before"
sleep 60
threads "$instance" >"$log.after"
echo "context switches of the instance in 60 s: $(wakeups "$log.before" "$log.after") (target 0)"

echo "== --line against the running instance"
line_ms=$(median_ms 30 "$app" --line)
core_ms=$(median_ms 30 "$build/bench/baseline_core")
echo "--line ${line_ms} ms; bare QCoreApplication start and exit ${core_ms} ms;" \
  "ratio $(ratio "$line_ms" "$core_ms") (target <= 2.5)"

echo "== popover opened once on the dashboard"
item="org.kde.StatusNotifierItem-$instance-1"
activate() {
  dbus-send --session --print-reply --dest="$item" /StatusNotifierItem org.kde.StatusNotifierItem.Activate \
    int32:0 int32:0 >/dev/null
}
activate
sleep 4
open_rss=$(rss "$instance")
open_parts=$(parts "$instance")
measure_bare "$build/bench/baseline_quick"
echo "instance RSS ${open_rss} KiB $open_parts; bare QQuickView ${bare_rss} KiB $bare_parts;" \
  "ratio $(ratio "$open_rss" "$bare_rss") (target <= 1.3)"

echo "== after closing and the release delay (file pages the windows read are dropped from the process)"
activate # closes it
sleep $((release_ms / 1000 + 3))
released=$(rss "$instance")
echo "instance RSS ${released} KiB $(parts "$instance"); idle baseline ${idle_bare_rss} KiB;" \
  "ratio $(ratio "$released" "$idle_bare_rss") (target <= 1.25)"

"$app" --quit >/dev/null 2>&1 || true

echo "== opening the popover, from the status item's Activate to the first frame shown (median of $open_runs runs)"
# Each run starts an instance that restores the connection from the files
# above, opens the popover cold, closes it, opens it warm (views kept),
# and opens it cold again once the views were released; a bare QQuickView
# program is timed from exec to its first frame between the runs.
for _ in $(seq 100); do
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    string:com.velmorcraft.quillmere.menubar 2>/dev/null | grep -q 'boolean false' && break
  sleep 0.1
done
python3 - "$app" "$base" "$build/bench/open_probe" "$build/bench/baseline_quick" "$open_runs" <<'PY'
import os, re, statistics, subprocess, sys, time
app, base, probe, bare, runs = sys.argv[1:5] + [int(sys.argv[5])]
env = dict(os.environ, QUILLMERE_OPEN_TRACE="1", QUILLMERE_VIEW_RELEASE_MS="1000")
steps = ["engine", "types", "created", "shown", "first-frame"]

def now_us():
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC) // 1000

def owned():
    out = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
                          "org.freedesktop.DBus.NameHasOwner", "string:com.velmorcraft.quillmere.menubar"],
                         capture_output=True, text=True).stdout
    return "boolean true" in out

def marks(path):
    found = []
    for line in open(path):
        m = re.match(r"quillmere-open (\S+) (\d+)", line)
        if m:
            found.append((m.group(1), int(m.group(2))))
    return found

def open_once(item, trace):
    """Activates the item; returns (ms from the call to the first frame, {step: ms from the open})."""
    before = len(marks(trace))
    sent = int(subprocess.run([probe, item], capture_output=True, text=True, check=True).stdout)
    for _ in range(500):
        new = marks(trace)[before:]
        if any(step == "first-frame" for step, _ in new):
            break
        time.sleep(0.01)
    else:
        raise SystemExit("no first frame")
    opened = dict(new)
    return (opened["first-frame"] - sent) / 1000, {s: (opened[s] - opened["open"]) / 1000 for s in steps if s in opened}

cold, warm, released, bare_ms, cold_steps, released_steps = [], [], [], [], [], []
for _ in range(runs):
    trace = os.path.join(os.environ["XDG_RUNTIME_DIR"], "open-trace")
    with open(trace, "w") as err:
        instance = subprocess.Popen([app, "--server", base], env=env, stdout=subprocess.DEVNULL, stderr=err)
    for _ in range(100):
        if owned():
            break
        time.sleep(0.1)
    time.sleep(3)  # restored, settled and the views prepared
    item = "org.kde.StatusNotifierItem-%d-1" % instance.pid
    ms, at = open_once(item, trace)
    cold.append(ms); cold_steps.append(at)
    subprocess.run([probe, item], capture_output=True)  # closes
    time.sleep(0.3)
    warm.append(open_once(item, trace)[0])
    subprocess.run([probe, item], capture_output=True)
    time.sleep(2.5)  # released
    ms, at = open_once(item, trace)
    released.append(ms); released_steps.append(at)
    subprocess.run([app, "--quit"], capture_output=True)
    instance.wait()
    start = now_us()
    out = subprocess.run([bare], env=dict(os.environ, QUILLMERE_FIRST_FRAME="1"), capture_output=True, text=True)
    bare_ms.append((int(out.stdout.split()[0]) - start) / 1000)

med = statistics.median
for name, at in (("first cold opening", cold_steps), ("cold opening after a release", released_steps)):
    print("steps of the %s, ms after the Activate arrived:" % name,
          ", ".join("%s %.1f" % (s, med(a[s] for a in at)) for s in steps if all(s in a for a in at)))
print("bare QQuickView from exec to its first frame %.1f ms" % med(bare_ms))
print("cold, first opening after start %.1f ms; ratio %.2f (target <= 1.0)" % (med(cold), med(cold) / med(bare_ms)))
print("cold, after the views were released %.1f ms; ratio %.2f (target <= 1.0)" % (med(released), med(released) / med(bare_ms)))
print("warm, views kept %.1f ms; ratio %.2f" % (med(warm), med(warm) / med(bare_ms)))
PY
