"""The front plate's areas for the windowed tests, read from app/PlateLayout.h, the one place the
panel and the plate generator take them from: (x, y, width, height) in plate pixels at 100 %."""
import os
import re

_HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "app", "PlateLayout.h")


def _areas():
    with open(_HEADER) as f:
        text = f.read()
    found = re.findall(r"constexpr Area k(\w+)Area \{ *(\d+), *(\d+), *(\d+), *(\d+) *\};", text)
    return {name: tuple(int(v) for v in values) for name, *values in found}


_AREAS = _areas()
THRU_AREA = _AREAS["Thru"]
IN_AREA = _AREAS["In"]
CLOSE_AREA = _AREAS["Close"]
DISPLAY_AREA = _AREAS["Display"]
CHANNEL_COMBO_AREA = _AREAS["ChannelCombo"]
