#include "layout.h"

#include "window_texts.h"

#include <array>

#ifndef TREZORKA_WEB_URL
#define TREZORKA_WEB_URL "https://example.org/trezorka"
#endif

namespace trezorka::rules {

namespace {

#define TREZORKA_U16(s) u"" s
constexpr std::u16string_view web_url = TREZORKA_U16(TREZORKA_WEB_URL);
#undef TREZORKA_U16

constexpr std::uint32_t white = 0xFFFFFF;
constexpr std::uint32_t navy = 0x000080;

constexpr ControlLayout picture(std::string_view name, std::string_view art, Rect r, bool hand, bool shown = true,
                                bool enabled = true, bool stretch = false)
{
    ControlLayout c{name, Kind::Picture, r};
    c.picture = art;
    c.hand = hand;
    c.shown = shown;
    c.enabled = enabled;
    c.stretch = stretch;
    return c;
}

constexpr ControlLayout label(std::string_view name, std::u16string_view text, Rect r, Font font, bool hand,
                              std::uint32_t colour = 0x000000, bool enabled = true)
{
    ControlLayout c{name, Kind::Label, r};
    c.text = text;
    c.font = font;
    c.hand = hand;
    c.colour = colour;
    c.enabled = enabled;
    return c;
}

constexpr ControlLayout edit(std::string_view name, Rect r, bool read_only, bool password,
                             std::u16string_view text = {})
{
    ControlLayout c{name, Kind::Edit, r};
    c.read_only = read_only;
    c.password = password;
    c.text = text;
    return c;
}

constexpr ControlLayout button(std::string_view name, std::u16string_view text, Rect r)
{
    ControlLayout c{name, Kind::Button, r};
    c.text = text;
    return c;
}

constexpr Font bold12{12, true};
constexpr Font bold13{13, true};
constexpr Font bold16{16, true};
constexpr Font bold11{11, true};
constexpr Font plain11{11};
constexpr Font link11{11, false, true};
constexpr bool hidden = false;
constexpr bool disabled = false;

// The link label's text comes from the address (shown_address); its size
// here is the one that address needs.
constexpr std::array<ControlLayout, control_count> main_controls{{
    picture("Image3", "panel_right", {464, 40, 97, 299}, false),
    picture("off", "bar", {327, 288, 121, 32}, true),
    picture("Image2", "panel_left", {-38, 64, 105, 269}, false),
    picture("Image1", "logo_banner", {-7, 0, 274, 85}, false),
    picture("selectfile", "bar", {400, 111, 66, 21}, true),
    picture("crypt", "bar", {65, 288, 129, 32}, true, true, disabled),
    picture("decrypt", "bar", {200, 288, 121, 32}, true, true, disabled),
    picture("crypt_act", "bar_act", {65, 288, 129, 32}, true, hidden, disabled),
    picture("decrypt_act", "bar_act", {200, 288, 121, 32}, true, hidden, disabled),
    label("Label1", u"Zdrojový soubor:", {102, 93, 105, 14}, bold12, false),
    label("Label2", u"Cílový soubor:", {102, 140, 87, 14}, bold12, false),
    picture("selectfile_act", "bar_act", {400, 111, 66, 21}, true, hidden),
    label("cryptlabel", u"Zašifrovat", {89, 293, 82, 19}, bold16, true, white, disabled),
    label("decryptlabel", u"Odšifrovat", {219, 293, 84, 19}, bold16, true, white, disabled),
    label("chosefilelabel", u"Vyber...", {407, 113, 51, 16}, bold13, true, white),
    picture("savetochose", "bar", {400, 159, 113, 21}, true, true, disabled),
    picture("savetochose_act", "bar_act", {400, 159, 113, 21}, true, hidden, disabled),
    label("savetochose_label", u"Vyber umístění", {407, 161, 97, 16}, bold13, true, white, disabled),
    label("Label4", u"Heslo:", {102, 187, 37, 14}, bold12, false),
    label("pwagainlabel", u"Heslo znova:", {102, 230, 77, 14}, bold12, false, 0x000000),
    picture("pwok", "mark_ok", {407, 207, 20, 21}, false, hidden, true, true),
    picture("pwagainok", "mark_ok", {407, 250, 20, 21}, false, hidden, true, true),
    picture("pwagainerr", "mark_err", {407, 250, 20, 21}, false, hidden, true, true),
    picture("pwerr", "mark_err", {407, 207, 20, 21}, false, hidden, true, true),
    label("Label3", u"© 2026 vývojáři Trezorky", {407, 326, 142, 13}, plain11, false),
    label("Label6", u"", {8, 326, 59, 13}, link11, true, navy),
    picture("off_act", "bar_act", {327, 288, 121, 32}, true, hidden),
    label("offlabel", u"Ukončit", {350, 293, 62, 19}, bold16, true, white),
    edit("filetocrypt", {105, 112, 296, 21}, true, false, texts::source_prompt),
    edit("finalfile", {105, 160, 296, 21}, true, false),
    edit("pw", {105, 207, 296, 21}, false, true),
    edit("pwagain", {105, 250, 296, 21}, false, true),
}};

// statusinfo is laid out by each job for its text (its bottom line stays at
// y 16 + the font's height); the other labels size themselves to their text.
constexpr std::array<ControlLayout, status_control_count> status_controls{{
    picture("Image1", "panel_right", {436, -62, 97, 299}, false),
    picture("Image2", "panel_left", {-16, -24, 105, 269}, false),
    label("statusinfo", u"", {38, 16, 0, 0}, bold12, false),
    label("info", u"Zdroj", {38, 48, 0, 0}, bold11, false),
    label("info2", u"Cíl", {38, 75, 0, 0}, bold11, false),
    picture("hoursimage", "hourglass", {409, 24, 94, 96}, false),
    edit("fromfile", {74, 45, 317, 21}, true, false),
    edit("tofile", {74, 72, 317, 21}, true, false),
    button("Button1", u"Přerušit a ukončit", {143, 113, 113, 20}),
    button("Button2", u"Minimalizovat", {278, 113, 113, 20}),
}};

} // namespace

std::span<const ControlLayout> main_layout()
{
    return main_controls;
}

std::span<const ControlLayout> status_layout()
{
    return status_controls;
}

const ControlLayout& layout_of(Control c)
{
    return main_controls[static_cast<std::size_t>(c)];
}

const ControlLayout& layout_of(StatusControl c)
{
    return status_controls[static_cast<std::size_t>(c)];
}

std::u16string_view web_address()
{
    return web_url;
}

std::u16string shown_address(std::u16string_view address)
{
    std::u16string_view rest = address;
    if (const auto scheme = rest.find(u"://"); scheme != std::u16string_view::npos)
        rest.remove_prefix(scheme + 3);
    while (!rest.empty() && rest.back() == u'/')
        rest.remove_suffix(1);
    return std::u16string(rest);
}

std::u16string first_text(Control c)
{
    return c == Control::Label6 ? shown_address(web_address()) : std::u16string(layout_of(c).text);
}

} // namespace trezorka::rules
