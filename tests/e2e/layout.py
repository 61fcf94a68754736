"""Where things are in the program's windows, and their colours.

Boxes are (x, y, width, height) in pixels of a window's client area. The main
window is laid out in twips, 15 to a pixel, and each of its boxes is rounded
here as the program rounds it; the settings window is laid out in pixels, its
controls inside frames.
"""

TWIPS_PER_PIXEL = 15


def px(twips):
    return int(twips / TWIPS_PER_PIXEL + 0.5)  # qRound, for the positive values used here


def twips_box(left, top, width, height):
    return (px(left), px(top), px(width), px(height))


def inset(box, by):
    x, y, w, h = box
    return (x + by, y + by, w - 2 * by, h - 2 * by)


# -- the main window

MAIN_SIZE = (px(3510), px(3360))
HOURGLASS = twips_box(360, 405, 405, 690)
TIME_PANEL = twips_box(720, 1440, 2055, 495)
BUTTON_ANNULATION = twips_box(300, 2640, 1335, 375)
BUTTON_EXECUTER = twips_box(1845, 2640, 1335, 375)
_COMMENT = twips_box(345, 2160, 2820, 495)
# The comment down to the row above the buttons, which overlap its bottom.
COMMENT_BOX = _COMMENT[:3] + (BUTTON_ANNULATION[1] - 1 - _COMMENT[1],)
# Text elements, inside the buttons' borders.
MAIN_TEXTS = {
    "LabelTitre": twips_box(1200, 360, 1575, 255), "CountAction": twips_box(840, 640, 2415, 375),
    "CountPause": twips_box(1080, 1000, 1455, 255), "CountObs": COMMENT_BOX,
    "BoutonNon": inset(BUTTON_ANNULATION, 3), "BoutonOk": inset(BUTTON_EXECUTER, 3),
}

# The seven-segment display, in twips as the display model holds it: the left
# verticals of the six cells, and Segm1 .. Segm7 as end points relative to them.
CELL_LEFT = (960, 1200, 1560, 1800, 2160, 2400)
SEGMENTS = ((120, 1590, 120, 1660), (120, 1710, 120, 1780), (15, 1815, 85, 1815), (0, 1710, 0, 1780),
            (0, 1590, 0, 1660), (15, 1560, 85, 1560), (15, 1695, 85, 1695))
# Segm7 of the hours' units digit runs 1200..1270, 15 twips left of the rule.
SEGM7_CELL12 = (0, 1695, 70, 1695)
# The middle of each segment, in pixels: [cell][segment] = (x, y).
SEGMENT_POINTS = [[(px(left + (x1 + x2) / 2), px((y1 + y2) / 2))
                   for x1, y1, x2, y2 in (SEGMENTS[:6] + (SEGM7_CELL12,) if left == 1200 else SEGMENTS)]
                  for left in CELL_LEFT]
DIGIT_PATTERNS = {
    "1111110": "0", "1100000": "1", "1011011": "2", "1110011": "3", "1100101": "4",
    "0110111": "5", "0111111": "6", "1100010": "7", "1111111": "8", "1110111": "9",
}
# The colons' dots lie 40 or 65 twips from the middle line, 30 long, drawn 2
# pixels (30 twips) wide: these rows hold both layouts.
COLON_X = (1440, 2040)
COLON_ROWS = range(px(1695 - 65 - 15), px(1695 + 65 + 15) + 1)

# -- the settings window

DIALOG_SIZE = (322, 678)
FRAMES = {"DECOMPTEUR": (16, 40), "ACTION": (16, 136), "COMMENTAIRES": (16, 392), "OPTIONS": (16, 504)}


def in_frame(frame, x, y, w=None, h=None):
    fx, fy = FRAMES[frame]
    return (fx + x, fy + y) if w is None else (fx + x, fy + y, w, h)


TIME_EDITOR = in_frame("DECOMPTEUR", 32, 40, 89, 25)
# A click selects the section under it: the hours, or the seconds.
DIALOG_HOURS = (TIME_EDITOR[0] + 10, TIME_EDITOR[1] + 12)
DIALOG_SECONDS = (TIME_EDITOR[0] + 49, TIME_EDITOR[1] + 12)
ACTION_NAME_BOX = in_frame("ACTION", 24, 40, 137, 25)
DIALOG_BUTTONS = {"Annulation": (16, 640, 81, 25), "Simulation": (120, 640, 81, 25), "OK": (224, 640, 81, 25),
                  "Parcourir": in_frame("ACTION", 24, 96, 81, 25)}
DIALOG_ANNULATION, DIALOG_OK = DIALOG_BUTTONS["Annulation"], DIALOG_BUTTONS["OK"]
# A point of the window's grey in its bottom right corner, the last that a
# paint from the top reaches.
DIALOG_MARGIN = (DIALOG_SIZE[0] - 4, DIALOG_SIZE[1] - 4)
# Blank points inside each frame.
FRAME_INSIDES = {"DECOMPTEUR": in_frame("DECOMPTEUR", 140, 60), "ACTION": in_frame("ACTION", 270, 110),
                 "COMMENTAIRES": in_frame("COMMENTAIRES", 275, 60), "OPTIONS": in_frame("OPTIONS", 240, 20)}
FRAME_CAPTIONS = {name: in_frame(name, 2, 0, width, 11)
                  for name, width in (("DECOMPTEUR", 70), ("ACTION", 40), ("COMMENTAIRES", 80), ("OPTIONS", 50))}
# The top of each option's row in OPTIONS; its box is the first 18 pixels.
OPTION_ROWS = {"ParamBoxBipDem": 16, "ParamBoxBips": 40, "ParamBoxExec": 64, "ParamBoxFerm": 88}
OPTION_BOXES = {name: in_frame("OPTIONS", 24, row, 18, 25) for name, row in OPTION_ROWS.items()}
# What the scenarios click, by name, for the log.
CLICKED = {TIME_PANEL: "the time", BUTTON_ANNULATION: "ANNULATION", BUTTON_EXECUTER: "EXECUTER",
           HOURGLASS: "the hourglass", DIALOG_HOURS: "the hours", DIALOG_SECONDS: "the seconds",
           ACTION_NAME_BOX: "the action's name", **{box: name for name, box in DIALOG_BUTTONS.items()}}
# Text elements: captions, the text inside boxes and buttons, options beside their boxes.
DIALOG_TEXTS = {
    "PARAMETRAGES": (88, 8, 143, 25),  # the title and its white copy, 2 pixels right
    "Label9": in_frame("DECOMPTEUR", 8, 24, 137, 17), "ParamTime": inset(TIME_EDITOR, 3)[:2] + (52, 19),
    "Label2": in_frame("ACTION", 24, 24, 137, 17), "ParamActNom": inset(ACTION_NAME_BOX, 3),
    "Label11": in_frame("ACTION", 24, 80, 233, 17), "ParamParc": inset(DIALOG_BUTTONS["Parcourir"], 3),
    "Label10": in_frame("ACTION", 24, 136, 137, 17), "ParamAppNom": inset(in_frame("ACTION", 24, 152, 241, 25), 3),
    "Label4": in_frame("ACTION", 24, 184, 241, 17), "ParamAppDir": inset(in_frame("ACTION", 24, 201, 241, 25), 3),
    "Label5": in_frame("COMMENTAIRES", 24, 24, 241, 17),
    "ParamObs": inset(in_frame("COMMENTAIRES", 24, 40, 241, 41), 3),
    **{name: in_frame("OPTIONS", 24 + 22, row + 4, 200, 17) for name, row in OPTION_ROWS.items()},
    "ParamAnnul": inset(DIALOG_ANNULATION, 3), "ParamSimul": inset(DIALOG_BUTTONS["Simulation"], 3),
    "ParamOK": inset(DIALOG_OK, 3),
}
# The text fields of the settings window.
FIELDS = ("ParamTime", "ParamActNom", "ParamAppNom", "ParamAppDir", "ParamObs")

# -- colours

LIT = (0, 255, 0)
UNLIT = (0, 84, 0)
MAIN_FACE = (192, 192, 192)
COMMENT_PANEL = (216, 216, 216)
DIALOG_FACE = (224, 224, 224)
WINDOW_GREY = (192, 192, 192)  # the settings window's own, in which its frames are painted too
FRAME_INSIDE = WINDOW_GREY
# The frames' teal captions on grey stand at 2.6:1 in the design itself: they
# must keep that teal, whatever the desktop's palette.
TEAL = (0, 128, 128)
