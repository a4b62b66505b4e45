#!/usr/bin/env python3
"""The companion on a Wayland desktop (run inside scripts/wayland-lab --terminals): it starts on
the layer shell, reports the output, draws the crew where it says and nothing elsewhere, lets
clicks away from the buddies through, and a virtual pointer picks a buddy up and throws it. A
second output, added while it runs, becomes a second floor. The menu opens and takes keys.
    desktop_test.py path/to/perchkin path/to/wayland_pointer"""
import json, os, socket, subprocess, sys, tempfile, time

exe, pointer = sys.argv[1], sys.argv[2]
failures = []


def check(ok, what):
    print(("ok:   " if ok else "FAIL: ") + what, flush=True)
    if not ok:
        failures.append(what)


def screenshot():
    raw = subprocess.run(["grim", "-t", "ppm", "-"], capture_output=True, check=True).stdout
    fields, pos = [], 0
    while len(fields) < 4:  # magic, width, height, maximum; comments are not written by grim
        while raw[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not raw[pos:pos + 1].isspace():
            pos += 1
        fields.append(raw[start:pos])
    w, h = int(fields[1]), int(fields[2])
    return w, h, raw[pos + 1:pos + 1 + w * h * 3]


def pixel(shot, x, y):
    w, _, data = shot
    i = (y * w + x) * 3
    return data[i:i + 3]


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


port = free_port()


def send(cmd, **args):
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(json.dumps({"cmd": cmd, "args": args}).encode() + b"\n")
        return json.loads(s.makefile().readline())


def status():
    return json.loads(send("status")["msg"])


def pointer_steps(*steps):
    subprocess.run([pointer, "--extent", "1280", "720", *map(str, steps)], check=True)


def until(test, seconds=5.0):
    """Polls the status until test(status) holds; the last status either way."""
    end = time.monotonic() + seconds
    while True:
        now = status()
        if test(now) or time.monotonic() > end:
            return now
        time.sleep(0.1)


def buddy(now, ident):
    return next(q for q in now["buddies"] if q["id"] == ident)


def focused_app():
    tree = json.loads(subprocess.run(["swaymsg", "-t", "get_tree"], capture_output=True,
                                     check=True).stdout)
    stack = [tree]
    while stack:
        node = stack.pop()
        if node.get("focused"):
            return node.get("app_id")
        stack += node.get("nodes", []) + node.get("floating_nodes", [])
    return None


def focus_becomes(app_id):
    end = time.monotonic() + 3
    while focused_app() != app_id and time.monotonic() < end:
        time.sleep(0.1)
    return focused_app() == app_id


bare = screenshot()
work = tempfile.mkdtemp()
err = open(os.path.join(work, "err.txt"), "w+")
env = dict(os.environ, PERCHKIN_SETTINGS=os.path.join(work, "settings.json"))
env.pop("DISPLAY", None)
proc = subprocess.Popen([exe, "--port", str(port)], env=env, stderr=err)
try:
    for _ in range(100):
        try:
            status()
            break
        except OSError:
            time.sleep(0.1)
    err.flush()
    err.seek(0)
    check("perchkin: desktop: Wayland (" in err.read(), "it says it runs on Wayland")
    check(status()["screen"] == [0, 0, 1280, 720], "status gives the output's size")

    send("crew", add=2)
    until(lambda now: all(q["mode"] not in ("fall", "hop", "slide") for q in now["buddies"]), 10)
    send("act", id="all", action="sleep")
    crew = until(lambda now: all(q["mode"] == "sleep" for q in now["buddies"]))["buddies"]
    time.sleep(0.5)  # drawn
    shot = screenshot()
    for b in crew:
        x, y = round(b["x"]), round(b["y"])
        drawn = sum(pixel(shot, px, py) != pixel(bare, px, py)
                    for px in range(max(0, x - 30), min(1280, x + 30))
                    for py in range(max(0, y - 40), min(720, y - 2)))
        check(drawn > 300, f"buddy {b['id']} shows where status puts it ({x}, {y}): {drawn} pixels")
    # Away from the buddies (and their bubbles, and sleep marks drifting up and to the right)
    # nothing is drawn.
    near = lambda px, py: any(-130 < px - b["x"] < 220 and b["y"] - 320 < py < b["y"] + 6 for b in crew)
    stray = sum(pixel(shot, px, py) != pixel(bare, px, py)
                for py in range(0, 720, 2) for px in range(0, 1280, 2) if not near(px, py))
    check(stray == 0, f"pixels away from the buddies are the bare desktop's ({stray} differ)")

    # A right click on a buddy opens the menu (its dark centre above the buddy); Escape, from a
    # virtual keyboard once the overlay has the keyboard, closes it.
    m = min(crew, key=lambda b: abs(b["x"] - 640))
    mx, my = round(m["x"]), round(m["y"])

    def menu_pixels():
        shot = screenshot()
        return sum(pixel(shot, px, py) != pixel(bare, px, py) and max(pixel(shot, px, py)) < 48
                   for px in range(max(0, mx - 30), min(1280, mx + 30))
                   for py in range(max(0, my - 225), my - 185))

    pointer_steps("move", mx, my - 12, "wait", 300, "down", "right", "up", "right", "wait", 600)
    check(menu_pixels() > 500, "a right click on a buddy opens the menu")
    subprocess.run(["wtype", "-s", "800", "-k", "Escape"], check=True)
    time.sleep(0.5)
    check(menu_pixels() == 0, "Escape closes it")

    # Clicks away from the buddies reach the terminals below.
    pointer_steps("move", 900, 500, "down", "wait", 50, "up")
    check(focus_becomes("right"), "a click on the right terminal focuses it")
    pointer_steps("move", 300, 300, "down", "wait", 50, "up")
    check(focus_becomes("left"), "a click on the left terminal focuses it")

    # A drag picks a floor buddy up; letting go while moving throws it.
    # Where the buddies are now (the menu woke one): a sleeping one keeps still.
    now = status()["buddies"]
    b = min((q for q in now if q["on"] == "floor"),
            key=lambda q: (q["mode"] != "sleep", abs(q["x"] - 640)))
    x, y = round(b["x"]), round(b["y"])
    # One device throughout: a pointer device going away lets go of its buttons.
    hand = subprocess.Popen([pointer, "--extent", "1280", "720", "-"], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, text=True)

    def steps(*words):
        hand.stdin.write(" ".join(map(str, words)) + "\n")
        hand.stdin.flush()
        return hand.stdout.readline().strip() == "done"

    steps("move", x, y - 12, "wait", 400, "down", "wait", 400,
          *[s for k in range(1, 9) for s in ("move", x + 8 * k, y - 12 - 30 * k, "wait", 40)])
    held = buddy(until(lambda now: buddy(now, b["id"])["mode"] == "held", 2), b["id"])
    check(held["mode"] == "held", f"the buddy is held while dragged ({held['mode']})")
    steps("move", x + 120, y - 330, "move", x + 200, y - 420, "up")
    hand.stdin.close()
    hand.wait(timeout=10)
    thrown = buddy(until(lambda now: buddy(now, b["id"])["mode"] != "held" and
                         abs(buddy(now, b["id"])["x"] - x) > 60, 2), b["id"])
    check(thrown["mode"] != "held" and abs(thrown["x"] - x) > 60,
          f"letting go throws it ({thrown['mode']} at {thrown['x']:.0f}, from {x})")

    # An output that asks for no frames for a while (powered off) shows the right picture
    # when it asks again.
    until(lambda now: all(q["mode"] not in ("fall", "hop", "slide") for q in now["buddies"]))
    subprocess.run(["swaymsg", "output HEADLESS-1 dpms off"], check=True, capture_output=True)
    time.sleep(1.5)
    subprocess.run(["swaymsg", "output HEADLESS-1 dpms on"], check=True, capture_output=True)
    time.sleep(0.5)
    now = status()["buddies"]
    shot = screenshot()
    now += status()["buddies"]  # a buddy walking meanwhile is masked at both places
    near = lambda px, py: any(-130 < px - q["x"] < 220 and q["y"] - 320 < py < q["y"] + 6 for q in now)
    stray = sum(pixel(shot, px, py) != pixel(bare, px, py)
                for py in range(0, 720, 2) for px in range(0, 1280, 2) if not near(px, py))
    where = next(((px, py) for py in range(0, 720, 2) for px in range(0, 1280, 2)
                  if not near(px, py) and pixel(shot, px, py) != pixel(bare, px, py)), None)
    check(stray == 0, f"after the output sleeps, pixels away from the buddies are bare "
                      f"({stray} differ, the first at {where})")

    # A second output to the right: the screen grows and it has a floor of its own.
    subprocess.run(["swaymsg", "create_output"], check=True, capture_output=True)
    subprocess.run(["swaymsg", "output HEADLESS-2 resolution 1280x720 position 1280 0"],
                   check=True, capture_output=True)
    until(lambda now: now["screen"] == [0, 0, 2560, 720])
    check(status()["screen"] == [0, 0, 2560, 720], "a second output widens the screen")
    send("leap", id=b["id"], x=2000, y=600)
    landed = buddy(until(lambda now: buddy(now, b["id"])["x"] > 1280 and
                         buddy(now, b["id"])["on"] == "floor", 8), b["id"])
    time.sleep(0.3)  # drawn
    check(landed["x"] > 1280 and landed["on"] == "floor" and round(landed["y"]) == 720,
          f"the second output has a floor ({landed['on']} at {landed['x']:.0f}, {landed['y']:.0f})")
    x2 = round(landed["x"])
    shot = screenshot()
    # The lab paints the second output's background #808080 too unless told otherwise.
    background = pixel(shot, 2550, 10)
    drawn = sum(pixel(shot, px, py) != background
                for px in range(x2 - 30, min(2560, x2 + 30)) for py in range(680, 718))
    check(drawn > 300, f"the buddy shows on the second output ({drawn} pixels)")
    send("quit")
    check(proc.wait(timeout=20) == 0, "it quits cleanly")
finally:
    if proc.poll() is None:
        proc.kill()
        proc.wait()
    err.seek(0)
    sys.stderr.write(err.read())

if failures:
    print(f"{len(failures)} check(s) failed", flush=True)
    sys.exit(1)
