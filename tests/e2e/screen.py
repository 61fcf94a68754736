"""The screen, through the driver's own X client: the program's windows and
their titles, screenshots read pixel by pixel, and how promptly a window
answers. A look from inside the driver takes milliseconds where a tool started
for it takes tens, more on a busy machine."""

import collections
import ctypes
import select
import struct
import threading
import time
import zlib

from layout import COLON_ROWS, COLON_X, DIGIT_PATTERNS, LIT, SEGMENT_POINTS, UNLIT, px


class Image:
    """The whole screen at one moment, as RGB bytes."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def pixel(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            return None
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def png(self):
        return png_bytes(self.width, self.height, self.rgb)


def png_bytes(width, height, rgb):
    raw = b"".join(b"\x00" + rgb[y * width * 3:(y + 1) * width * 3] for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def _lit_or_unlit(seen):
    if LIT in seen and UNLIT not in seen:
        return "lit"
    if UNLIT in seen and LIT not in seen:
        return "unlit"
    return None


def read_display(img, win):
    """The six digits as HH:MM:SS ('?' for a pattern that is no digit), and the raw
    patterns: '1' lit, '0' unlit, '?' neither or both in the 3x3 pixels around a segment's middle."""
    digits, patterns = [], []
    for cell in SEGMENT_POINTS:
        pattern = ""
        for x, y in cell:
            state = _lit_or_unlit({img.pixel(win.x + x + dx, win.y + y + dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1)})
            pattern += {"lit": "1", "unlit": "0"}.get(state, "?")
        patterns.append(pattern)
        digits.append(DIGIT_PATTERNS.get(pattern, "?"))
    return "{}{}:{}{}:{}{}".format(*digits), patterns


def colon_state(img, win):
    """'lit' or 'unlit' when all four dots agree, else what was seen."""
    states = [_lit_or_unlit({img.pixel(win.x + col, win.y + row) for col in range(px(x) - 2, px(x) + 2)
                             for row in COLON_ROWS}) or "unclear" for x in COLON_X]
    return states[0] if states[0] == states[1] else "/".join(states)


def relative_luminance(rgb):
    def channel(c):
        c /= 255
        return c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (channel(c) for c in rgb)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast_ratio(a, b):
    la, lb = sorted((relative_luminance(a), relative_luminance(b)), reverse=True)
    return (la + 0.05) / (lb + 0.05)


def box_pixels(img, win, box):
    x0, y0, w, h = box
    return [img.pixel(win.x + x, win.y + y) for y in range(y0, y0 + h) for x in range(x0, x0 + w)]


def text_contrast(img, win, box):
    """The text's contrast with its background inside `box`: the background is
    the commonest colour, the text the colour that stands out most from it."""
    pixels = box_pixels(img, win, box)
    background = collections.Counter(pixels).most_common(1)[0][0]
    text = max(pixels, key=lambda c: contrast_ratio(c, background))
    return contrast_ratio(text, background), text, background


def check_box_inside(img, win, box, frame_inside):
    """The fill of an option's box, and how many pixels inside it stand out
    from that fill by at least 3:1 (the tick). The box is what is not the
    frame's grey within `box`, left of the caption."""
    x0, y0, w, h = box
    drawn = [(x, y) for y in range(y0, y0 + h) for x in range(x0, x0 + w)
             if img.pixel(win.x + x, win.y + y) != frame_inside]
    if not drawn:
        return None, 0
    left, right = min(x for x, _ in drawn), max(x for x, _ in drawn)
    top, bottom = min(y for _, y in drawn), max(y for _, y in drawn)
    # Clear of the box's edge, which may be a two-pixel bevel.
    inside = box_pixels(img, win, (left + 2, top + 2, right - left - 3, bottom - top - 3))
    if not inside:
        return None, 0
    fill = collections.Counter(inside).most_common(1)[0][0]
    return fill, sum(1 for c in inside if contrast_ratio(c, fill) >= 3)


def face_pixels(img, win, box):
    """The pixels of a button's face along its top and left, clear of its bevel and caption."""
    x, y, w, h = box
    return {img.pixel(win.x + x + dx, win.y + y + 4) for dx in range(4, w - 4)} | \
        {img.pixel(win.x + x + 4, win.y + y + dy) for dy in range(4, h - 4)}


def ink_rows(img, win, box, background):
    """Rows of the box that hold anything but the background, grouped into bands of (first, last, left, right)."""
    x, y, w, h = box
    bands = []
    for row in range(y, y + h):
        cols = [c for c in range(x, x + w) if img.pixel(win.x + c, win.y + row) != background]
        if not cols:
            continue
        if bands and bands[-1][1] == row - 1:
            first, _, left, right = bands[-1]
            bands[-1] = (first, row, min(left, cols[0]), max(right, cols[-1]))
        else:
            bands.append((row, row, cols[0], cols[-1]))
    return bands


_x = ctypes.CDLL("libX11.so.6")
# Before any other call: the pings talk to the server from a thread of their own.
_x.XInitThreads()

_P, _ULONG, _INT, _LONG = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long
_PU, _PI = ctypes.POINTER(_ULONG), ctypes.POINTER(_INT)
for _name, _result, _args in (
        ("XOpenDisplay", _P, [ctypes.c_char_p]), ("XCloseDisplay", _INT, [_P]),
        ("XInternAtom", _ULONG, [_P, ctypes.c_char_p, _INT]), ("XDefaultRootWindow", _ULONG, [_P]),
        ("XQueryTree", _INT, [_P, _ULONG, _PU, _PU, ctypes.POINTER(_PU), ctypes.POINTER(ctypes.c_uint)]),
        ("XGetWindowProperty", _INT, [_P, _ULONG, _ULONG, _LONG, _LONG, _INT, _ULONG, _PU, _PI, _PU, _PU,
                                      ctypes.POINTER(_P)]),
        ("XGetWindowAttributes", _INT, [_P, _ULONG, _P]),
        ("XTranslateCoordinates", _INT, [_P, _ULONG, _ULONG, _INT, _INT, _PI, _PI, _PU]),
        ("XGetImage", _P, [_P, _ULONG, _INT, _INT, ctypes.c_uint, ctypes.c_uint, _ULONG, _INT]),
        ("XDestroyImage", _INT, [_P]), ("XFree", _INT, [_P]),
        ("XGrabServer", _INT, [_P]), ("XUngrabServer", _INT, [_P]), ("XSync", _INT, [_P, _INT]),
        ("XSelectInput", _INT, [_P, _ULONG, _LONG]), ("XFlush", _INT, [_P]), ("XPending", _INT, [_P]),
        ("XConnectionNumber", _INT, [_P])):
    getattr(_x, _name).restype = _result
    getattr(_x, _name).argtypes = _args

# A window may go between two looks at it: its errors are answers, not faults.
_IGNORE_ERRORS = ctypes.CFUNCTYPE(_INT, _P, _P)(lambda display, event: 0)
_x.XSetErrorHandler(_IGNORE_ERRORS)

_IS_VIEWABLE = 2
_Z_PIXMAP = 2


class _WindowAttributes(ctypes.Structure):
    # Xlib's XWindowAttributes; only the fields named here are read.
    _fields_ = [("x", _INT), ("y", _INT), ("width", _INT), ("height", _INT), ("_border_depth", _INT * 2),
                ("_visual_root", _P * 2), ("_class_gravities_store", _INT * 4), ("_planes_pixel", _ULONG * 2),
                ("_save_under", _INT), ("_colormap", _ULONG), ("_map_installed", _INT), ("map_state", _INT),
                ("_rest", _P * 5)]


class _XImage(ctypes.Structure):
    _fields_ = [("width", _INT), ("height", _INT), ("_xoffset_format", _INT * 2), ("data", _P),
                ("byte_order", _INT), ("_bitmap", _INT * 4), ("bytes_per_line", _INT), ("bits_per_pixel", _INT),
                ("red_mask", _ULONG), ("green_mask", _ULONG), ("blue_mask", _ULONG)]


class Window:
    def __init__(self, wid, name, x, y, w, h):
        self.id, self.name, self.x, self.y, self.w, self.h = wid, name, x, y, w, h

    def __repr__(self):
        return f"<window {self.id} {self.name!r} {self.w}x{self.h}+{self.x}+{self.y}>"


class Display:
    """A connection to the X server; close it before the server goes, which
    would otherwise end the driver (Xlib's fatal error)."""

    def __init__(self, name):
        self.dpy = _x.XOpenDisplay(name.encode())
        if not self.dpy:
            raise OSError(f"cannot open display {name}")
        self.root = _x.XDefaultRootWindow(self.dpy)
        self.atoms = {}

    def close(self):
        if self.dpy:
            _x.XCloseDisplay(self.dpy)
            self.dpy = None

    def atom(self, name):
        if name not in self.atoms:
            self.atoms[name] = _x.XInternAtom(self.dpy, name.encode(), 0)
        return self.atoms[name]

    def _property(self, window, name, kind):
        """The property's bytes, or None; items of 32 bits come as longs."""
        actual, fmt, count, after, data = _ULONG(), _INT(), _ULONG(), _ULONG(), ctypes.c_void_p()
        if _x.XGetWindowProperty(self.dpy, window, self.atom(name), 0, 1 << 16, 0, kind, ctypes.byref(actual),
                                 ctypes.byref(fmt), ctypes.byref(count), ctypes.byref(after),
                                 ctypes.byref(data)) != 0 or not data.value:
            return None
        try:
            size = {8: 1, 16: 2, 32: ctypes.sizeof(_LONG)}.get(fmt.value, 0) * count.value
            return ctypes.string_at(data.value, size) if actual.value else None
        finally:
            _x.XFree(data)

    def title(self, window):
        """The window's title as Qt sets it, or None once the window is gone."""
        found = self._property(window, "_NET_WM_NAME", self.atom("UTF8_STRING"))
        if found is not None:
            return found.decode("utf-8", errors="replace")
        return "" if _x.XGetWindowAttributes(self.dpy, window, ctypes.byref(_WindowAttributes())) else None

    def children(self, window):
        root, parent, children, count = _ULONG(), _ULONG(), _PU(), ctypes.c_uint()
        if not _x.XQueryTree(self.dpy, window, *map(ctypes.byref, (root, parent, children, count))):
            return []
        found = children[:count.value]
        if children:
            _x.XFree(children)
        return found

    def windows(self, pid):
        """The viewable windows of the process `pid`, as it names itself on them."""
        found, pending = [], self.children(self.root)
        while pending:
            wid = pending.pop(0)
            pending += self.children(wid)
            attributes, owner = _WindowAttributes(), self._property(wid, "_NET_WM_PID", 6)  # CARDINAL
            if not owner or _LONG.from_buffer_copy(owner).value != pid \
                    or not _x.XGetWindowAttributes(self.dpy, wid, ctypes.byref(attributes)) \
                    or attributes.map_state != _IS_VIEWABLE:
                continue
            x, y, child = _INT(), _INT(), _ULONG()
            title = self.title(wid)
            if title is None or not _x.XTranslateCoordinates(self.dpy, wid, self.root, 0, 0, ctypes.byref(x),
                                                              ctypes.byref(y), ctypes.byref(child)):
                continue  # gone in between
            found.append(Window(str(wid), title, x.value, y.value, attributes.width, attributes.height))
        return found

    def look(self, window=None):
        """The window's title (None without one) and the whole screen, both
        read while the server is held, so that both are of one moment."""
        _x.XGrabServer(self.dpy)
        try:
            title = self.title(int(window.id)) if window is not None else None
            return title, self.screen()
        finally:
            _x.XUngrabServer(self.dpy)
            _x.XSync(self.dpy, 0)

    def screen(self):
        attributes = _WindowAttributes()
        _x.XGetWindowAttributes(self.dpy, self.root, ctypes.byref(attributes))
        w, h = attributes.width, attributes.height
        pointer = _x.XGetImage(self.dpy, self.root, 0, 0, w, h, 0xFFFFFFFF, _Z_PIXMAP)
        if not pointer:
            raise OSError("XGetImage failed")
        try:
            image = _XImage.from_address(pointer)
            layout = (image.bits_per_pixel, image.byte_order, image.red_mask, image.blue_mask)
            if layout != (32, 0, 0xFF0000, 0xFF):  # BGRX, as Xvfb's 24-bit screens are
                raise OSError(f"unexpected screen layout {layout}")
            data = b"".join(ctypes.string_at(image.data + row * image.bytes_per_line, w * 4) for row in range(h))
        finally:
            _x.XDestroyImage(pointer)
        rgb = bytearray(w * h * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = data[2::4], data[1::4], data[0::4]
        return Image(w, h, bytes(rgb))


class _XClientMessage(ctypes.Structure):
    _fields_ = [("type", _INT), ("serial", _ULONG), ("send_event", _INT), ("display", _P), ("window", _ULONG),
                ("message_type", _ULONG), ("format", _INT), ("l", _LONG * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("type", _INT), ("xclient", _XClientMessage), ("pad", _LONG * 24)]


_x.XSendEvent.argtypes = [_P, _ULONG, _INT, _LONG, ctypes.POINTER(_XEvent)]
_x.XNextEvent.argtypes = [_P, ctypes.POINTER(_XEvent)]


class Responsiveness:
    """How promptly a window's own thread answers: it pings the window as a
    window manager does (_NET_WM_PING), which Qt answers from the thread that
    paints and ticks, and keeps the longest wait for an answer.

    Runs in a thread of the driver, on a display connection of its own."""

    CLIENT_MESSAGE = 33
    # Qt sends its answer to the root window for clients that watch the
    # root's structure (or redirect its children, as a window manager does).
    STRUCTURE_NOTIFY = 1 << 17
    SUBSTRUCTURE_NOTIFY = 1 << 19

    def __init__(self, session, window):
        self.session = session
        self.window = int(window.id)
        self.longest = 0.0
        self.answers = 0
        self.unanswered = None  # a ping that never came back, with how long it waited
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        session.pings.append(self)
        self._thread.start()

    def _run(self):
        try:
            display = Display(self.session.display)
        except OSError:
            self.unanswered = ("no display connection", 0.0)
            return
        protocols, ping = display.atom("WM_PROTOCOLS"), display.atom("_NET_WM_PING")
        # The answer goes to the root window, where a window manager would hear it.
        _x.XSelectInput(display.dpy, display.root, self.STRUCTURE_NOTIFY | self.SUBSTRUCTURE_NOTIFY)
        fd = _x.XConnectionNumber(display.dpy)
        sequence = 0
        try:
            while not self._stop.is_set():
                sequence += 1
                event = _XEvent(xclient=_XClientMessage(type=self.CLIENT_MESSAGE, window=self.window,
                                                        message_type=protocols, format=32,
                                                        l=(_LONG * 5)(ping, sequence, self.window)))
                _x.XSendEvent(display.dpy, self.window, 0, 0, ctypes.byref(event))
                _x.XFlush(display.dpy)
                sent = time.monotonic()
                answered = False
                while not answered and not self._stop.is_set():
                    while _x.XPending(display.dpy):
                        reply = _XEvent()
                        _x.XNextEvent(display.dpy, ctypes.byref(reply))
                        answered |= (reply.type == self.CLIENT_MESSAGE and reply.xclient.l[0] == ping
                                     and reply.xclient.l[1] == sequence)
                    if not answered:
                        select.select([fd], [], [], 0.01)
                waited = time.monotonic() - sent
                if not answered:
                    self.unanswered = (f"ping {sequence}", waited)
                    break
                self.answers += 1
                self.longest = max(self.longest, waited)
                self._stop.wait(0.02)
        finally:
            display.close()

    def stop(self, quiet=False):
        """Stops pinging; the longest wait for an answer, in seconds, counting
        a ping still unanswered at the stop."""
        if self._stop.is_set():
            return self.longest
        self._stop.set()
        self._thread.join(10)
        self.longest = max(self.longest, self.unanswered[1] if self.unanswered else 0.0)
        if not quiet:
            self.session.log(f"the window answered {self.answers} pings; longest wait {self.longest * 1000:.0f} ms")
        return self.longest
