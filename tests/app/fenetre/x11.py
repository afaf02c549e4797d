#!/usr/bin/env python3
"""Drives a real window on an X display (Xvfb) as an operator and a window
manager would: finds it by its title, clicks in it, asks it to close
(WM_DELETE_WINDOW), takes a screenshot.

  x11.py attend TEXTE [SECONDES]     waits for a window whose title holds TEXTE,
                                     prints its id (exit 1 after SECONDES)
  x11.py titre ID                    prints the window's title
  x11.py clic ID X Y                 a left click at (X, Y) in the window
  x11.py ferme ID                    WM_DELETE_WINDOW, as a window manager sends it
  x11.py disparue ID [SECONDES]      waits for the window to go (exit 1 if it stays)
  x11.py capture FICHIER.png [ID]    the screen, or the window, as a PNG
  x11.py liste                       every window on view that has a title:
                                     id, position, size and title
"""
import struct
import sys
import time
import zlib

from Xlib import X, Xatom, display, error, protocol
from Xlib.ext import xtest


def titre(d, w):
    try:
        net = w.get_full_property(d.intern_atom("_NET_WM_NAME"), d.intern_atom("UTF8_STRING"))
        if net and net.value:
            v = net.value
            return v.decode("utf-8", "replace") if isinstance(v, bytes) else str(v)
        nom = w.get_wm_name()
        if isinstance(nom, bytes):
            return nom.decode("latin-1")
        return nom or ""
    except error.XError:
        return ""


def fenetres(d, w):
    try:
        enfants = w.query_tree().children
    except error.XError:
        return
    for e in enfants:
        yield e
        yield from fenetres(d, e)


def cherche(d, texte):
    for w in fenetres(d, d.screen().root):
        try:
            attrs = w.get_attributes()
        except error.XError:
            continue
        if attrs.map_state == X.IsViewable and texte in titre(d, w):
            return w
    return None


def origine(d, w):
    # Where the window's (0, 0) is on the screen.
    t = d.screen().root.translate_coords(w, 0, 0)
    return t.x, t.y


def ecrit_png(nom, largeur, hauteur, lignes):
    def morceau(genre, donnees):
        c = genre + donnees
        return struct.pack(">I", len(donnees)) + c + struct.pack(">I", zlib.crc32(c) & 0xFFFFFFFF)

    brut = b"".join(b"\x00" + l for l in lignes)
    with open(nom, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(morceau(b"IHDR", struct.pack(">IIBBBBB", largeur, hauteur, 8, 2, 0, 0, 0)))
        f.write(morceau(b"IDAT", zlib.compress(brut, 6)))
        f.write(morceau(b"IEND", b""))


def capture(d, nom, w=None):
    racine = d.screen().root
    if w is None:
        g = racine.get_geometry()
        x, y, l, h = 0, 0, g.width, g.height
    else:
        g = w.get_geometry()
        x, y = origine(d, w)
        l, h = g.width, g.height
        # The part on the screen: get_image fails on anything outside it.
        e = racine.get_geometry()
        x0, y0 = max(x, 0), max(y, 0)
        l, h = min(x + l, e.width) - x0, min(y + h, e.height) - y0
        x, y = x0, y0
    image = racine.get_image(x, y, l, h, X.ZPixmap, 0xFFFFFFFF)
    donnees = image.data
    pas = len(donnees) // h
    lignes = []
    for r in range(h):
        ligne = donnees[r * pas:r * pas + 4 * l]
        rgb = bytearray(3 * l)
        rgb[0::3] = ligne[2::4]
        rgb[1::3] = ligne[1::4]
        rgb[2::3] = ligne[0::4]
        lignes.append(bytes(rgb))
    ecrit_png(nom, l, h, lignes)


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    d = display.Display()
    action = argv[1]
    if action == "attend":
        fin = time.time() + (float(argv[3]) if len(argv) > 3 else 60)
        while time.time() < fin:
            w = cherche(d, argv[2])
            if w is not None:
                print(w.id)
                return 0
            time.sleep(0.2)
        return 1
    if action == "liste":
        for w in fenetres(d, d.screen().root):
            try:
                if w.get_attributes().map_state != X.IsViewable:
                    continue
                t = titre(d, w)
                if not t:
                    continue
                g = w.get_geometry()
                x, y = origine(d, w)
            except error.XError:
                continue
            print(f"{w.id} {x},{y} {g.width}x{g.height} {t}")
        return 0
    if action == "capture":
        w = d.create_resource_object("window", int(argv[3])) if len(argv) > 3 else None
        capture(d, argv[2], w)
        return 0
    w = d.create_resource_object("window", int(argv[2]))
    if action == "titre":
        print(titre(d, w))
        return 0
    if action == "clic":
        x0, y0 = origine(d, w)
        x, y = x0 + int(argv[3]), y0 + int(argv[4])
        e = d.screen().root.get_geometry()
        if not (0 <= x < e.width and 0 <= y < e.height):
            print(f"clic en ({x}, {y}), hors de l'écran de {e.width} x {e.height} "
                  f"(fenêtre en ({x0}, {y0}))", file=sys.stderr)
            return 1
        xtest.fake_input(d, X.MotionNotify, x=x, y=y)
        d.sync()
        time.sleep(0.1)
        xtest.fake_input(d, X.ButtonPress, 1)
        d.sync()
        time.sleep(0.05)
        xtest.fake_input(d, X.ButtonRelease, 1)
        d.sync()
        return 0
    if action == "ferme":
        protocoles = d.intern_atom("WM_PROTOCOLS")
        suppression = d.intern_atom("WM_DELETE_WINDOW")
        ev = protocol.event.ClientMessage(window=w, client_type=protocoles,
                                          data=(32, [suppression, X.CurrentTime, 0, 0, 0]))
        w.send_event(ev, event_mask=X.NoEventMask)
        d.sync()
        return 0
    if action == "disparue":
        fin = time.time() + (float(argv[3]) if len(argv) > 3 else 30)
        while time.time() < fin:
            try:
                if w.get_attributes().map_state != X.IsViewable:
                    return 0
            except error.XError:
                return 0
            time.sleep(0.2)
        return 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
