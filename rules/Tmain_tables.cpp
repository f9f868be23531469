// The main window's tables: its commands, its fields and its decorations.

#include "Tmain_rules.h"

#include <algorithm>
#include <array>

namespace trezorka::rules {

namespace {

using C = Control;

// In the order of their labels in the layout.
const std::array<TmainRules::Command, 6> command_table{{
    {C::cryptlabel, C::crypt, C::crypt_act, &TmainRules::crypt_actClick, &TmainRules::cryptMouseMove,
     texts::crypt_description},
    {C::decryptlabel, C::decrypt, C::decrypt_act, &TmainRules::decryptlabelClick, &TmainRules::decryptMouseMove,
     texts::decrypt_description},
    {C::chosefilelabel, C::selectfile, C::selectfile_act, &TmainRules::chosefilelabelClick,
     &TmainRules::selectfileMouseMove, texts::selectfile_description},
    {C::savetochose_label, C::savetochose, C::savetochose_act, &TmainRules::savetochose_labelClick,
     &TmainRules::savetochoseMouseMove, texts::savetochose_description},
    {C::Label6, std::nullopt, std::nullopt, &TmainRules::Label6Click, nullptr, texts::link_description},
    {C::offlabel, C::off, C::off_act, &TmainRules::off_actClick, &TmainRules::offMouseMove, texts::off_description},
}};

const std::array<TmainRules::Field, 4> field_table{{
    {C::filetocrypt, C::Label1, std::nullopt, std::nullopt, {}, {}},
    {C::finalfile, C::Label2, std::nullopt, std::nullopt, {}, {}},
    {C::pw, C::Label4, C::pwok, C::pwerr, texts::pwok_name, texts::pwerr_name},
    {C::pwagain, C::pwagainlabel, C::pwagainok, C::pwagainerr, texts::pwagainok_name, texts::pwagainerr_name},
}};

constexpr std::array panels{C::Image3, C::Image2, C::Image1};

} // namespace

std::span<const TmainRules::Command> TmainRules::commands()
{
    return command_table;
}

std::span<const TmainRules::Field> TmainRules::fields()
{
    return field_table;
}

std::u16string TmainRules::field_name(const Field& f)
{
    std::u16string name(layout_of(f.label).text);
    if (!name.empty() && name.back() == u':')
        name.pop_back();
    return name;
}

std::u16string_view TmainRules::described(const Field& f) const
{
    if (f.ok && shown(*f.ok))
        return f.ok_name;
    if (f.error && shown(*f.error))
        return f.error_name;
    return {};
}

bool TmainRules::decoration(Control c)
{
    if (std::find(panels.begin(), panels.end(), c) != panels.end())
        return true;
    return std::any_of(command_table.begin(), command_table.end(),
                       [c](const Command& command) { return command.bar == c || command.highlight == c; });
}

} // namespace trezorka::rules
