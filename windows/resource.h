#pragma once

// Resource numbers shared by the resource script and the program.

#define IDI_TREZORKA 1
// The tray icon's three animation frames.
#define IDI_TRAY1 11
#define IDI_TRAY2 12
#define IDI_TRAY3 13

// Each picture is stored three times, for 100, 150 and 200 % scaling:
// ART_FIRST + 10 * picture + scale step.
#define ART_FIRST 200
#define ART_BAR 0
#define ART_BAR_ACT 1
#define ART_PANEL_LEFT 2
#define ART_PANEL_RIGHT 3
#define ART_LOGO_BANNER 4
#define ART_MARK_OK 5
#define ART_MARK_ERR 6
#define ART_HOURGLASS 7
#define ART_COUNT 8
#define ART_SCALES 3
#define ART_ID(picture, step) (ART_FIRST + 10 * (picture) + (step))
