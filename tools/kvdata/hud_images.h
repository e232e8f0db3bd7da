#pragma once
// The HUD and title pictures of the stock archive, drawn from code: the tachometer dial, the
// gear atlas, the pitboard and the 2:1 title picture.
#include "output.h"

// 256 × 256 RGBA dial: 0 rpm 135° left of straight up, 8000 rpm straight up, 16000 rpm 135°
// right, matching the HUD's needle; labels in thousands, red from 12000.
Bytes hud_tach();
// 256 × 256 RGBA atlas of 3 × 3 cells: cell g (column g mod 3, row g div 3) shows gear g,
// "N" for 0 and 1 … 6 for the gears; the last two cells are empty.
Bytes hud_shifter();
// 256 × 256 RGBA pitboard; the board fills rows 48 … 224 (the part the HUD shows), with a light
// writing area right of 37 % of the width for the black text drawn on it.
Bytes hud_pitboard();
// 1024 × 512 RGB title picture with the name "Korvane".
Bytes hud_title();
