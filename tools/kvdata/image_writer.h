#pragma once
// Encoders for the image files of the data set: PNG (8-bit grey, RGB, RGBA; 16-bit grey), and the
// raw PPM ("P6") and PGM ("P5") forms the terrain files use. No time stamps or other varying
// chunks are written, so equal pixels give equal bytes.
#include "output.h"

// pixels: rows top first, `channels` bytes per pixel (1 grey, 3 RGB, 4 RGBA).
Bytes png_encode(const uint8_t* pixels, int width, int height, int channels);
// 16-bit grey samples, row-major.
Bytes png_encode_grey16(const uint16_t* samples, int width, int height);
// "P6\n%d %d\n255\n" and the raw RGB bytes.
Bytes ppm_encode(const uint8_t* rgb, int width, int height);
// "P5\n%d %d\n255\n" and the raw grey bytes.
Bytes pgm_encode(const uint8_t* grey, int width, int height);
