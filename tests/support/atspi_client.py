#!/usr/bin/python3
"""What a screen reader sees of a program, over the session's accessibility bus (AT-SPI).

  atspi_client.py enable       turns screen reading on, as a screen reader does as it starts
  atspi_client.py tree PID     each object of the program, a line each: "role: name", and
                               " (labelled by NAME, ...)" where labels name it
  atspi_client.py events PID   "ready" once listening, then "parent's name > role: name" for
                               each object of the program that tells of a new name, until ended

Debian's own python3 (the path above): python3-gi and the Atspi typelib come for it alone.
"""
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402


def enable():
    # The bus launcher may not own its name yet: asked again for up to 10 s.
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    value = GLib.Variant("(ssv)", ("org.a11y.Status", "ScreenReaderEnabled", GLib.Variant("b", 1)))
    for _ in range(100):
        try:
            bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                          value, None, Gio.DBusCallFlags.NO_AUTO_START, 5000, None)
            return
        except GLib.Error:
            time.sleep(0.1)
    sys.exit("no accessibility bus on the session bus")


def program(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_process_id() == pid:
            return app
    sys.exit(f"program {pid} is not on the accessibility bus")


def tree(node):
    labels = [relation.get_target(i).get_name() for relation in node.get_relation_set()
              if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY
              for i in range(relation.get_n_targets())]
    print(f"{node.get_role_name()}: {node.get_name()}" +
          (f" (labelled by {', '.join(labels)})" if labels else ""))
    for i in range(node.get_child_count()):
        tree(node.get_child_at_index(i))


def events(pid):
    # Qt sends the object itself with the event, not its new name: the name is asked of it.
    def changed(event):
        source = event.source
        if source.get_process_id() == pid:
            parent = source.get_parent().get_name()
            print(f"{parent} > {source.get_role_name()}: {source.get_name()}", flush=True)

    listener = Atspi.EventListener.new(changed)
    listener.register("object:property-change:accessible-name")
    print("ready", flush=True)
    Atspi.event_main()


if __name__ == "__main__":
    if sys.argv[1] == "enable":
        enable()
    else:
        Atspi.init()
        if sys.argv[1] == "tree":
            tree(program(int(sys.argv[2])))
        else:
            events(int(sys.argv[2]))
