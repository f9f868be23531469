#pragma once

// The two windows' layouts as data, in 96-dpi pixels, for every face to build
// from. Creation order is stacking order: a later control lies above an
// earlier one. Colours are 0xRRGGBB.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace trezorka::rules {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;  // 0 with height 0: as large as the text needs
    int height = 0;
    bool contains(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
};

enum class Kind { Picture, Label, Edit, Button };

struct Font {
    int pixels = 11; // character height
    bool bold = false;
    bool underline = false;
};

struct ControlLayout {
    std::string_view name;
    Kind kind;
    Rect rect;
    std::string_view picture{}; // artwork name, pictures only
    bool stretch = false;      // the picture fills its rectangle rather than keeping its own size
    std::u16string_view text{}; // labels, buttons, the edit boxes' first text
    Font font{};
    std::uint32_t colour = 0x000000; // text colour
    bool shown = true;
    bool enabled = true;
    bool hand = false;       // the pointing-hand pointer over it
    bool read_only = false;  // edits
    bool password = false;   // edits: shown as "*"
};

// The main window's controls, in creation order; the values index main_layout.
enum class Control : int {
    Image3, off, Image2, Image1, selectfile, crypt, decrypt, crypt_act, decrypt_act, Label1, Label2,
    selectfile_act, cryptlabel, decryptlabel, chosefilelabel, savetochose, savetochose_act, savetochose_label,
    Label4, pwagainlabel, pwok, pwagainok, pwagainerr, pwerr, Label3, Label6, off_act, offlabel,
    filetocrypt, finalfile, pw, pwagain,
};
inline constexpr int control_count = static_cast<int>(Control::pwagain) + 1;

// The progress dialog's controls, in creation order.
enum class StatusControl : int {
    Image1, Image2, statusinfo, info, info2, hoursimage, fromfile, tofile, Button1, Button2,
};
inline constexpr int status_control_count = static_cast<int>(StatusControl::Button2) + 1;

struct WindowLayout {
    std::u16string_view caption; // empty: set by each job
    int width;
    int height;
    std::uint32_t background;
    Font font;
};

inline constexpr std::uint32_t background_colour = 0xE8E8E8;
// The confirmation field's background while decrypting, when it is not used.
inline constexpr std::uint32_t unused_field_colour = 0xC0C0C0;
inline constexpr std::u16string_view font_family = u"Tahoma";

inline constexpr WindowLayout main_window{u"Trezorka 2.0 Portable", 555, 341, background_colour, {11}};
inline constexpr WindowLayout status_window{u"", 508, 149, background_colour, {11}};

std::span<const ControlLayout> main_layout();
std::span<const ControlLayout> status_layout();
const ControlLayout& layout_of(Control c);
const ControlLayout& layout_of(StatusControl c);

// The web address the link label opens, and the text it shows: the address
// without its scheme and trailing slashes.
std::u16string_view web_address();
std::u16string shown_address(std::u16string_view address);

// The text a control of the main window starts with: its layout's, the link
// label's from the address.
std::u16string first_text(Control c);

} // namespace trezorka::rules
