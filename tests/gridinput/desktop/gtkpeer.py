#!/usr/bin/python3
# The other program of the desktop drag-and-drop test: a small GTK window with a drop zone that
# takes text, and a file that can be dragged out of it as text/uri-list plus text/plain.
#
# Usage: gtkpeer.py CSV-FILE X Y
# It reports on standard output, one line each, flushed:
#   ZONE drop|source X Y W H   screen rectangles, once the window is on screen
#   MOTION                     the first drag over the drop zone
#   DROP TARGET HEX            text dropped on the drop zone: the target used and its bytes in hex
#   SHOWN                      the dropped text drawn in the window
#   BEGIN / END ACTION         its own file drag started / ended with copy, move, link or none
# It ends when its standard input closes, or after two minutes at the latest.
import os
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

URI_LIST, PLAIN = 1, 2


def say(*parts):
    print(" ".join(str(p) for p in parts), flush=True)


def action_name(action):
    for name, flag in (("copy", Gdk.DragAction.COPY), ("move", Gdk.DragAction.MOVE), ("link", Gdk.DragAction.LINK)):
        if action & flag:
            return name
    return "none"


def main():
    path = os.path.abspath(sys.argv[1])
    x, y = int(sys.argv[2]), int(sys.argv[3])

    win = Gtk.Window(title="Peer")
    win.set_default_size(260, 240)
    win.move(x, y)
    box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=8)
    box.set_border_width(8)
    win.add(box)

    source = Gtk.EventBox()
    source.add(Gtk.Label(label=os.path.basename(path)))
    source.set_size_request(-1, 60)
    box.pack_start(source, False, False, 0)

    drop = Gtk.EventBox()
    drop_label = Gtk.Label(label="Hier ablegen")
    drop.add(drop_label)
    box.pack_start(drop, True, True, 0)

    # The file as a drag source, offering copy and move like a file manager.
    targets = Gtk.TargetList.new([])
    targets.add(Gdk.Atom.intern("text/uri-list", False), 0, URI_LIST)
    targets.add(Gdk.Atom.intern("text/plain", False), 0, PLAIN)
    source.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, [], Gdk.DragAction.COPY | Gdk.DragAction.MOVE)
    source.drag_source_set_target_list(targets)

    def on_data_get(_widget, _ctx, selection, info, _time):
        if info == URI_LIST:
            selection.set_uris([GLib.filename_to_uri(path, None)])
        else:
            selection.set(selection.get_target(), 8, path.encode())

    source.connect("drag-begin", lambda *_: say("BEGIN"))
    source.connect("drag-data-get", on_data_get)
    source.connect("drag-end", lambda _w, ctx: say("END", action_name(ctx.get_selected_action())))
    source.connect("drag-failed", lambda _w, _ctx, result: say("FAILED", int(result)) or False)

    # The drop zone takes text the way a text editor does, and only ever copies it.
    drop.drag_dest_set(0, [], Gdk.DragAction.COPY | Gdk.DragAction.MOVE)
    drop.drag_dest_add_text_targets()
    motion = {"seen": False}

    def on_motion(widget, ctx, _x, _y, time):
        if widget.drag_dest_find_target(ctx, None) is None:
            Gdk.drag_status(ctx, 0, time)
            return True
        if not motion["seen"]:
            motion["seen"] = True
            say("MOTION")
        Gdk.drag_status(ctx, Gdk.DragAction.COPY, time)
        return True

    def on_drop(widget, ctx, _x, _y, time):
        target = widget.drag_dest_find_target(ctx, None)
        if target is None:
            return False
        widget.drag_get_data(ctx, target, time)
        return True

    def on_received(_widget, ctx, _x, _y, selection, _info, time):
        data = selection.get_data() or b""
        say("DROP", selection.get_target().name(), data.hex())
        drop_label.set_text(data.decode("utf-8", "replace"))
        Gtk.drag_finish(ctx, True, False, time)

    def on_label_drawn(*_):
        # Once the dropped text is on the screen.
        if drop_label.get_text() != "Hier ablegen" and not motion.get("shown"):
            motion["shown"] = True
            say("SHOWN")
        return False

    win.connect("realize", lambda w: w.get_frame_clock().connect("after-paint", on_label_drawn))

    def on_leave(*_):
        motion["seen"] = False

    drop.connect("drag-motion", on_motion)
    drop.connect("drag-drop", on_drop)
    drop.connect("drag-data-received", on_received)
    drop.connect("drag-leave", on_leave)

    def report_zones():
        for name, widget in (("drop", drop), ("source", source)):
            alloc = widget.get_allocation()
            _, ox, oy = widget.get_window().get_origin()
            # An event box's own window starts at its allocation.
            say("ZONE", name, ox, oy, alloc.width, alloc.height)
        return False

    win.connect("map-event", lambda *_: GLib.idle_add(report_zones) and False)
    win.connect("destroy", Gtk.main_quit)

    def on_stdin(_fd, condition):
        if condition & (GLib.IO_HUP | GLib.IO_ERR):
            Gtk.main_quit()
            return False
        if not sys.stdin.buffer.readline():
            Gtk.main_quit()
            return False
        return True

    GLib.io_add_watch(sys.stdin.fileno(), GLib.IO_IN | GLib.IO_HUP | GLib.IO_ERR, on_stdin)
    GLib.timeout_add_seconds(120, Gtk.main_quit)
    win.show_all()
    Gtk.main()


if __name__ == "__main__":
    main()
