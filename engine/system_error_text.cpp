#include "system_error_text.h"

#include <cerrno>
#include <cstring>

namespace trezorka {

std::string system_error_text(int error)
{
    switch (error) {
    case ENOSPC:
        return "na disku není dost místa";
#ifdef EDQUOT
    case EDQUOT:
        return "byla překročena kvóta místa na disku";
#endif
    case EACCES:
    case EPERM:
        return "přístup odepřen";
    case ENOENT:
        return "soubor nebo složka neexistuje";
    case ENOTDIR:
        return "část cesty není složka";
    case EROFS:
        return "disk je určen jen pro čtení";
    case ENAMETOOLONG:
        return "název je příliš dlouhý";
    case EISDIR:
        return "jde o složku";
    case EIO:
        return "chyba vstupu nebo výstupu zařízení";
    case EFBIG:
        return "soubor je pro tento disk příliš velký";
    case EMLINK:
        return "příliš mnoho odkazů";
    case ELOOP:
        return "příliš mnoho symbolických odkazů v cestě";
    case EEXIST:
        return "soubor už existuje";
    case EBUSY:
    case ETXTBSY:
        return "soubor je používán";
    case EMFILE:
    case ENFILE:
        return "je otevřeno příliš mnoho souborů";
    case ENOMEM:
        return "nedostatek paměti";
    case EXDEV:
        return "nelze přesouvat mezi disky";
    case ENXIO:
    case ENODEV:
        return "zařízení není dostupné";
    case EINVAL:
        return "neplatný argument";
    case EBADF:
        return "neplatný popisovač souboru";
    case EAGAIN:
        return "prostředek je dočasně nedostupný";
    case EINTR:
        return "přerušeno signálem";
    case EPIPE:
        return "roura nebo spojení je uzavřeno";
    case ESPIPE:
        return "v souboru nelze přecházet";
    case EOVERFLOW:
        return "hodnota je pro tento typ příliš velká";
    case ENOTSUP:
        return "operace není podporována";
    case ENOSYS:
        return "funkce není dostupná";
    case ENOTEMPTY:
        return "složka není prázdná";
    case ENOLCK:
        return "nelze zamknout";
    case ENOTTY:
        return "nevhodná operace pro tento druh souboru";
    case ETIMEDOUT:
        return "vypršel časový limit";
#ifdef ESTALE
    case ESTALE:
        return "síťový soubor už není dostupný";
#endif
    default:
        break;
    }
    const char* text = std::strerror(error);
    return text && *text ? std::string(text) : "chyba " + std::to_string(error);
}

} // namespace trezorka
