"""Walks the running program's accessible tree (AT-SPI) and presses real keys (XTEST), as a
screen reader user and a keyboard-only user would, in one language.

    accessible_tree.py PROGRAM TOUCHSIM english|chinese

Needs DISPLAY (with a window manager), a session bus with the accessibility bus, and a private
network namespace (the service's fixed ports). Exit status 0 when every check held.
"""
import os
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

import pyatspi

PROGRAM, TOUCHSIM, LANGUAGE = sys.argv[1:4]
CONTROL_PORT = "28900"
# Hang guards only: every wait below ends as soon as what it waits for is there.
WAIT_S = 60
TAPS = ["tap 0.125 0.125", "tap 0.125 0.875", "tap 0.875 0.875", "tap 0.875 0.125"]

texts = ET.parse(os.path.join(os.path.dirname(PROGRAM), "Data", "MultiLang.xml")).getroot()
section = texts.find("CN" if LANGUAGE == "chinese" else "EN")


def T(key):
    return section.find(key).text


failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def wait_until(find, what):
    end = time.monotonic() + WAIT_S
    while time.monotonic() < end:
        try:
            found = find()
        except Exception:  # an object that went away while it was read
            found = None
        if found:
            return found
        time.sleep(0.1)
    check(False, "in time: " + what)
    raise SystemExit(finish())


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "qlncfg":
            return app
    return None


def walk(obj):
    yield obj
    for k in range(obj.childCount):
        child = obj.getChildAtIndex(k)
        if child is not None:
            yield from walk(child)


def objects(role=None):
    app = application()
    if not app:
        return []
    return [o for o in walk(app) if role is None or o.getRoleName() == role]


def focused():
    for o in objects():
        if o.getState().contains(pyatspi.STATE_FOCUSED):
            return o
    return None


def focused_name():
    f = focused()
    return f.name if f else None


def labelled_by(obj):
    names = []
    for relation in obj.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            names += [relation.getTarget(k).name for k in range(relation.getNTargets())]
    return names


def key(name):
    subprocess.run(["xdotool", "key", name], check=True)


def window(role, name=None):
    def find():
        app = application()
        if not app:
            return None
        for k in range(app.childCount):
            w = app.getChildAtIndex(k)
            if w is not None and w.getRoleName() == role and (name is None or w.name == name) and \
                    w.getState().contains(pyatspi.STATE_SHOWING):
                return w
        return None
    return find


def expect_focus(name, what):
    wait_until(lambda: focused_name() == name, what + ": focus on " + repr(name))
    check(True, what + ": focus on " + repr(name))


def tab_order(expected, what):
    for k, name in enumerate(expected):
        key("Tab")
        wait_until(lambda: focused_name() == name, "%s: Tab %d reaches %r (focus on %r)" % (what, k + 1, name, focused_name()))
    check(True, what + ": Tab order " + " > ".join(expected))


def finish():
    if failures:
        print("%d check(s) failed in %s" % (len(failures), LANGUAGE))
        return 1
    return 0


log = tempfile.NamedTemporaryFile(prefix="qln-access-", suffix=".log", delete=False)
sim_log = tempfile.NamedTemporaryFile(prefix="qln-access-sim-", suffix=".log", delete=False)
sim = subprocess.Popen([TOUCHSIM, "--control-port", CONTROL_PORT], stdin=subprocess.DEVNULL, stdout=sim_log,
                       stderr=subprocess.STDOUT)
wait_until(lambda: b" ready" in open(sim_log.name, "rb").read(), "touchsim ready")
# The option also keeps the language in the configuration (checked at the end).
program = subprocess.Popen([PROGRAM, "--language", LANGUAGE], stdout=log, stderr=subprocess.STDOUT)
try:
    # --- The main window ------------------------------------------------------------------------
    frame = wait_until(window("frame"), "the main window")
    check(frame.name.startswith(T("QlnCfg")), "main window named by its title: %r" % frame.name)
    expect_focus(T("Done"), "start")
    for caption in ["Product_Type", "Touches", "LCD_Type", "Chip_Version", "Device_Status", "Service_Status"]:
        values = [o for o in objects("text") if o.name == T(caption)]
        if check(len(values) == 1, "one value named %r" % T(caption)):
            v = values[0]
            check(any(n.startswith(T(caption)) for n in labelled_by(v)),
                  "%r labelled by its caption (%s)" % (T(caption), labelled_by(v)))
            check(not v.getState().contains(pyatspi.STATE_FOCUSABLE), "%r is no Tab stop" % T(caption))
            check(v.queryText().characterCount > 0, "%r can be read" % T(caption))
    combos = objects("combo box")
    check(len(combos) == 1 and combos[0].name == T("Current_Device"),
          "device list named %r: %s" % (T("Current_Device"), [c.name for c in combos]))
    for role, key_name in [("push button", k) for k in ["Done", "Cancel", "Apply", "Callibration", "Advanced_Setting",
                                                         "Manu_Setting", "Update"]] + \
            [("radio button", "MultiTouch"), ("radio button", "Mouse")]:
        check(any(o.name == T(key_name) for o in objects(role)), "%s named %r" % (role, T(key_name)))
    unnamed = [o.getRoleName() for o in objects() if o.getState().contains(pyatspi.STATE_FOCUSABLE) and not o.name]
    check(not unnamed, "every control that takes the focus has a name (unnamed: %s)" % unnamed)

    # Tab order: what is seen, top to bottom and left to right (Apply is disabled).
    tab_order([T("Cancel"), T("Current_Device"), T("Update"), T("MultiTouch"), T("Callibration"),
               T("Advanced_Setting"), T("Manu_Setting"), T("Done")], "main window")
    key("alt+v")
    expect_focus(T("Current_Device"), "Alt+V")

    # --- The advanced settings, by Alt+S -------------------------------------------------------------
    key("alt+s")
    dialog = wait_until(window("dialog", T("Advanced_Setting")), "advanced settings as a dialog")
    check(True, "advanced settings: role dialog, named %r" % dialog.name)
    sliders = {o.name: o for o in objects("slider")}
    for caption in ["Right_Click_Duration", "Smooth_Effection", "Double_Click_Speed", "Right_Double_Click_Range"]:
        s = sliders.get(T(caption))
        if check(s is not None, "slider named %r" % T(caption)):
            check(T(caption) in labelled_by(s), "slider %r labelled by its caption" % T(caption))
            check(bool(s.description), "slider %r describes its ends: %r" % (T(caption), s.description))
            s.queryValue()  # its value can be read
    expect_focus(T("Right_Click_Simulation"), "advanced settings open")
    tab_order([T("Pen_Simulation"), T("Right_Click_Duration"), T("Smooth_Effection"), T("Double_Click_Speed"),
               T("Right_Double_Click_Range"), T("Done"), T("Cancel")], "advanced settings")
    key("alt+o")  # the caption's key focuses its slider
    expect_focus(T("Double_Click_Speed"), "Alt+O in the advanced settings")
    pen = [o for o in objects("check box") if o.name == T("Pen_Simulation")][0]
    was = pen.getState().contains(pyatspi.STATE_CHECKED)
    key("alt+p")
    wait_until(lambda: pen.getState().contains(pyatspi.STATE_CHECKED) != was, "Alt+P toggles Pen Simulation")
    check(True, "Alt+P toggles Pen Simulation")
    key("Escape")
    wait_until(lambda: not window("dialog", T("Advanced_Setting"))(), "Escape closes the advanced settings")
    expect_focus(T("Advanced_Setting"), "after the advanced settings")

    # --- The factory question, by Alt+F ----------------------------------------------------------------
    key("alt+f")
    box = wait_until(window("alert"), "the factory question as an alert")
    check(box.name == T("QlnCfg"), "question box titled with the program's name: %r" % box.name)
    key("Escape")
    wait_until(lambda: not window("alert")(), "Escape answers the question")
    expect_focus(T("Manu_Setting"), "after the factory question")

    # --- The calibration screen and its confirmation box, by Alt+L ----------------------------------------
    key("alt+l")
    for k, tap in enumerate(TAPS):
        name = T("Calibration_Touch_Target").replace("%1", str(k + 1))
        screen = wait_until(window("dialog", name), "calibration screen named %r" % name)
        check(True, "calibration screen named %r" % name)
        if k == 0:
            d = screen.description
            check(T("Calibration_Escape_Cancels") in d and T("Calibration_Ends_By_Itself") in d,
                  "calibration screen described: %r" % d)
        # A person's pace: the target has turned red (the name says so) before the tap.
        time.sleep(0.5)
        subprocess.run([TOUCHSIM, "--control-port", CONTROL_PORT, "--send", tap], check=True,
                       stdout=subprocess.DEVNULL)
    confirm = wait_until(window("alert", T("Apply_Callibration")), "confirmation box as an alert")
    check(True, "confirmation box: role alert, named %r" % confirm.name)
    expect_focus(T("Done"), "confirmation box")
    said = T("Keeping_In").split("%1")
    counts = [o for o in walk(confirm) if o.name.startswith(said[0]) and o.name.endswith(said[1])]
    check(len(counts) == 1, "count-down said as %r: %s" % (T("Keeping_In"), [o.name for o in counts]))
    count = counts[0] if counts else None
    check(count is not None and not count.getState().contains(pyatspi.STATE_FOCUSABLE), "count-down is no Tab stop")
    key("alt+c")  # Cancel: the previous calibration comes back, and a message says so
    wait_until(lambda: any(T("Calibration_Restored") in (o.name or "") for o in objects("label")),
               "message says the previous calibration is back")
    check(True, "message says the previous calibration is back")
    key("Return")
    wait_until(lambda: not window("alert")(), "the message is answered")
    expect_focus(T("Callibration"), "after the calibration and its messages")

    # --- Escape in the main window is Cancel: the program ends ------------------------------------
    key("Escape")
    try:
        code = program.wait(timeout=WAIT_S)
    except subprocess.TimeoutExpired:
        code = None
    check(code == 0, "Escape closes the main window (status %s)" % code)
finally:
    if program.poll() is None:
        program.kill()
        program.wait()
    sim.terminate()
    sim.wait()

output = open(log.name, encoding="utf-8", errors="replace").read()
bad = [line for line in output.splitlines() if "-CRITICAL" in line or "Gtk-WARNING" in line]
check(not bad, "no CRITICAL or Gtk-WARNING line in the program's output: %s" % bad[:3])
config = open(os.path.join(os.path.dirname(PROGRAM), "Data", "Configuration.xml"), encoding="utf-8").read()
check("<Language>%s</Language>" % LANGUAGE.capitalize() in config, "--language kept in the configuration")
os.unlink(log.name)
os.unlink(sim_log.name)
sys.exit(finish())
