#include "options.h"

#include "printable_name.h"
#include "refusal.h"

#include <charconv>
#include <string_view>
#include <utility>

namespace trezorka::cli {

const std::string_view help_text =
    R"(Použití: trezorka-cli [volby] ZDROJ

Zašifruje nebo dešifruje jeden soubor heslem (SHA-1 a RC4), stejně jako okno
programu Trezorka 2.0 Portable a se stejným výsledkem.

Směr určuje přípona zdroje: ".t2k" se dešifruje, ".t1k" (starší formát) se
odmítne (s --encrypt se zašifruje jako každý jiný soubor), vše ostatní se
zašifruje. Cíl leží vedle zdroje: při šifrování ZDROJ.t2k, při dešifrování
ZDROJ bez přípony ".t2k". Cíl se zapisuje do
dočasného souboru, který se na místo cíle přejmenuje až po úspěšném konci.
ZDROJ "-" čte standardní vstup (pak je nutná volba --encrypt nebo --decrypt)
a bez volby -o zapisuje na standardní výstup. Z terminálu se data nečtou a na
terminál se nezapisují.

Volby:
  -e, --encrypt             šifrovat bez ohledu na příponu zdroje
  -d, --decrypt             dešifrovat bez ohledu na příponu zdroje
                            (zdroj bez přípony ".t2k" pak potřebuje -o)
  -o, --output CÍL          zapsat přesně do CÍL; "-" je standardní výstup
                            (binární data se na terminál nezapisují)
  -f, --force               přepsat existující cíl
      --password-fd N       číst heslo z otevřeného deskriptoru N
      --password-file SOUBOR
                            číst heslo ze souboru SOUBOR
      --key-40              starší 40bitový klíč (základní poskytovatel Windows)
      --no-check            dešifrovat bez kontroly hesla (viz níže)
  -q, --quiet               nevypisovat průběh ani zprávu o dokončení
  -h, --help                vypsat tuto nápovědu
  -V, --version             vypsat verzi
      --                    konec voleb (pro ZDROJ začínající "-")

Heslo se nikdy nepředává argumentem. Z deskriptoru i ze souboru se čte první
řádek bez konce řádku (\n nebo \r\n), v kódování UTF-8. Bez těchto voleb se
heslo zadává na terminálu bez ozvěny, při šifrování dvakrát; bez terminálu
program skončí s chybou a nečeká. Je-li deskriptor z --password-fd nebo soubor
z --password-file terminál (např. /dev/tty), heslo se na něm zadává stejně: bez
ozvěny, při šifrování dvakrát.

Formát počítá jen první polovinu hesla: z hesla o L znacích (kódových
jednotkách UTF-16) se hashuje jen prvních L bajtů UTF-16LE, tedy prvních
L/2 znaků, u lichého L i nižší bajt prostředního. Heslo "pass1234" proto
otevře soubor zašifrovaný heslem "password". Počítá-li se při šifrování méně
než 8 znaků, program na standardní chybový výstup napíše "Varování: u tohoto
formátu se počítá jen prvních N znaků hesla." a pokračuje; -q toto varování
nepotlačí. Volte dlouhá hesla.

Před dešifrováním se v paměti dešifruje začátek zdroje (nejvýše 64 KiB) a
porovná s tím, co slibuje jméno cíle: PDF musí začínat jako PDF, textový
soubor musí být text. Nevypadá-li tak, heslo je nejspíš chybné: program skončí
s kódem 2 a nic nezapíše. U jména neznámého druhu, prázdného nebo příliš
krátkého souboru se nerozhoduje. Přejmenovaný soubor lze dešifrovat s
--no-check. Ze standardního vstupu se přečtený začátek použije dál, nic se
neztratí; ze standardního vstupu na standardní výstup chybí jméno cíle, a tak
se nekontroluje. Šifrování se nekontroluje.

Průběh (procenta, MB/s, zbývající čas) se vypisuje na standardní chybový
výstup, jen je-li to terminál.

Návratový kód:
  0  hotovo
  1  úloha selhala - chyba při načítání/ukládání (chybějící, nečitelný,
     měnící se zdroj, zdroj není obyčejný soubor (složka, roura, zařízení),
     plný disk, chyba šifrovací služby); cíl zůstane, jak byl
  2  chybné použití nebo odmítnutí, vždy dřív, než se cokoli zapíše:
     neznámá nebo chybná volba, chybějící nebo prázdný ZDROJ, prázdné -o,
     zdroj, z jehož jména nelze odvodit cíl (".t2k"), "-" bez směru,
     existující cíl bez --force, cíl totožný se zdrojem, zdroj ".t1k",
     prázdné heslo, neshodná hesla, heslo nelze načíst (chybí terminál,
     deskriptor nebo soubor), data z terminálu nebo na terminál, heslo
     nejspíš chybné (viz výše); "Cíl nelze použít": cíl je složka,
     chybějící nebo nezapisovatelná složka cíle, příliš dlouhé jméno cíle,
     symbolický odkaz jiného uživatele ve sdílené složce (např. /tmp)
  128+N  ukončeno signálem N (SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1,
     SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGTRAP, SIGSYS, SIGIO,
     SIGPWR, SIGSTKFLT, SIGRTMIN až SIGRTMAX); dočasný soubor se smaže a
     terminál dostane zpět ozvěnu
)";

namespace {

std::optional<int> parse_fd(std::string_view text)
{
    int value = -1;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

void set_direction(Options& o, bool encrypt)
{
    if (o.encrypt && *o.encrypt != encrypt)
        throw UsageError{"volby --encrypt a --decrypt nelze použít zároveň"};
    o.encrypt = encrypt;
}

void set_value(Options& o, std::string_view name, std::string value)
{
    if (name == "output") {
        if (o.output)
            throw UsageError{"volba --output je uvedena vícekrát"};
        if (value.empty())
            throw UsageError{"volba --output potřebuje jméno cíle"};
        o.output = std::move(value);
    } else if (name == "password-fd") {
        auto fd = parse_fd(value);
        if (!fd)
            throw UsageError{"volba --password-fd potřebuje číslo deskriptoru, ne \"" + printable_name(value) + "\""};
        if (o.password_fd || o.password_file)
            throw UsageError{"heslo lze číst jen z jednoho místa"};
        o.password_fd = *fd;
    } else { // password-file
        if (value.empty())
            throw UsageError{"volba --password-file potřebuje jméno souboru"};
        if (o.password_fd || o.password_file)
            throw UsageError{"heslo lze číst jen z jednoho místa"};
        o.password_file = std::move(value);
    }
}

bool set_flag(Options& o, std::string_view name)
{
    if (name == "encrypt") set_direction(o, true);
    else if (name == "decrypt") set_direction(o, false);
    else if (name == "force") o.force = true;
    else if (name == "quiet") o.quiet = true;
    else if (name == "key-40") o.key40 = true;
    else if (name == "no-check") o.no_check = true;
    else if (name == "help") o.help = true;
    else if (name == "version") o.version = true;
    else return false;
    return true;
}

bool takes_value(std::string_view name)
{
    return name == "output" || name == "password-fd" || name == "password-file";
}

std::string_view long_name_of_short(char c)
{
    switch (c) {
    case 'e': return "encrypt";
    case 'd': return "decrypt";
    case 'o': return "output";
    case 'f': return "force";
    case 'q': return "quiet";
    case 'h': return "help";
    case 'V': return "version";
    default: return {};
    }
}

} // namespace

Options parse_options(std::span<const std::string> args)
{
    Options o;
    auto add_source = [&](const std::string& arg) {
        if (o.source)
            throw UsageError{"lze zadat jen jeden ZDROJ (navíc: \"" + printable_name(arg) + "\")"};
        o.source = arg;
    };
    bool options_done = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_done || arg == "-" || arg.empty() || arg[0] != '-') {
            add_source(arg);
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        std::string_view name;
        std::optional<std::string> inline_value;
        if (arg.starts_with("--")) {
            std::string_view rest = std::string_view(arg).substr(2);
            auto eq = rest.find('=');
            name = rest.substr(0, eq);
            if (eq != std::string_view::npos)
                inline_value = std::string(rest.substr(eq + 1));
        } else {
            name = arg.size() >= 2 ? long_name_of_short(arg[1]) : std::string_view{};
            if (name.empty())
                throw UsageError{"neznámá volba \"" + printable_name(arg) + "\""};
            if (arg.size() > 2) {
                if (!takes_value(name))
                    throw UsageError{"neznámá volba \"" + printable_name(arg) + "\""};
                inline_value = arg.substr(2);
            }
        }
        if (takes_value(name)) {
            if (!inline_value) {
                if (i + 1 >= args.size())
                    throw UsageError{"volbě \"" + printable_name(arg) + "\" chybí hodnota"};
                inline_value = args[++i];
            }
            set_value(o, name, std::move(*inline_value));
        } else if (inline_value || !set_flag(o, name)) {
            throw UsageError{"neznámá volba \"" + printable_name(arg) + "\""};
        }
    }
    return o;
}

} // namespace trezorka::cli
