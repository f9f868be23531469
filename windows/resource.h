#pragma once

// Resource numbers shared by the resource script and the program.

#define IDI_TREZORKA 1
// The tray icon's three animation frames.
#define IDI_TRAY1 11
#define IDI_TRAY2 12
#define IDI_TRAY3 13

// Each picture is stored once for every scale it is rendered at; the
// pictures and the scales are numbered in the order of CMakeLists.txt's
// lists (art_pictures.h, made from them).
#define ART_FIRST 200
#define ART_ID(picture, step) (ART_FIRST + 10 * (picture) + (step))
