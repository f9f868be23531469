#include "plausibility.h"

#include "file_io.h"
#include "mime_table.h"
#include "secure_buffer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace trezorka {

namespace {

// Fewer bytes than this say too little: a short real file may well hold a
// stray byte that would otherwise count against it.
constexpr std::size_t min_judged_size = 16;

// What the check looks at: no more than its window of a file's start, and
// once cut there, no longer the whole file.
std::span<const std::uint8_t> within_window(std::span<const std::uint8_t> start, bool& whole_file)
{
    if (start.size() <= plausibility_window)
        return start;
    whole_file = false;
    return start.first(plausibility_window);
}

// "Few" characters that are not text: one in 128, none in a shorter text.
// Random bytes hold about one in ten (random UTF-16 units one in eight), so
// past a few hundred bytes they never pass.
bool few(std::size_t bad, std::size_t total)
{
    return bad * 128 <= total;
}

// ---- names --------------------------------------------------------------------

std::string_view last_component(std::string_view name)
{
    const std::size_t cut = name.find_last_of("/\\");
    return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

char lower_ascii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The shell-style patterns of the database: *, ? and [...] with ranges and
// negation by ! or ^.
bool glob_match(const char* pattern, std::string_view name)
{
    std::size_t n = 0;
    const char* star = nullptr;
    std::size_t star_n = 0;
    const char* p = pattern;
    while (n < name.size()) {
        if (*p == '*') {
            star = ++p;
            star_n = n;
            continue;
        }
        bool step = false;
        const char* next = p + 1;
        if (*p == '?') {
            step = true;
        } else if (*p == '[') {
            const char* q = p + 1;
            const bool negate = *q == '!' || *q == '^';
            if (negate)
                ++q;
            bool in = false;
            bool first = true;
            while (*q && (first || *q != ']')) {
                first = false;
                if (q[1] == '-' && q[2] && q[2] != ']') {
                    if (name[n] >= q[0] && name[n] <= q[2])
                        in = true;
                    q += 3;
                } else {
                    if (name[n] == *q)
                        in = true;
                    ++q;
                }
            }
            if (*q == ']') {
                step = in != negate;
                next = q + 1;
            } else {
                step = *p == name[n]; // an unclosed bracket is a plain character
            }
        } else if (*p != '\0') {
            step = *p == name[n];
        }
        if (step) {
            p = next;
            ++n;
        } else if (star) {
            p = star;
            n = ++star_n;
        } else {
            return false;
        }
    }
    while (*p == '*')
        ++p;
    return *p == '\0';
}

// The kinds the name announces: of the matching patterns, those of the
// highest weight, and of those the longest, as shared-mime-info picks them.
// More than one kind when the database itself cannot tell them apart.
std::vector<std::uint16_t> kinds_for(std::string_view target_name)
{
    const std::string_view name = last_component(target_name);
    std::string lowered(name);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), lower_ascii);

    std::vector<std::uint16_t> kinds;
    int best_weight = -1;
    std::size_t best_length = 0;
    const mime::Table& table = mime::table();
    for (const mime::GlobRow& glob : table.globs) {
        const bool case_sensitive = glob.flags & mime::glob_case_sensitive;
        const char* pattern = table.text_at(glob.pattern_at);
        if (!glob_match(pattern, case_sensitive ? name : std::string_view(lowered)))
            continue;
        const std::size_t length = std::strlen(pattern);
        if (glob.weight > best_weight || (glob.weight == best_weight && length > best_length)) {
            kinds.clear();
            best_weight = glob.weight;
            best_length = length;
        } else if (glob.weight < best_weight || length < best_length) {
            continue;
        }
        if (std::find(kinds.begin(), kinds.end(), glob.type) == kinds.end())
            kinds.push_back(glob.type);
    }
    return kinds;
}

// ---- signatures -----------------------------------------------------------------

enum class Tri { No, Yes, Unknown };

Tri rule_holds(const mime::Table& table, const mime::MagicRule& rule, std::span<const std::uint8_t> data,
               bool whole_file);

Tri any_holds(const mime::Table& table, std::uint32_t first, std::uint32_t count, std::span<const std::uint8_t> data,
              bool whole_file)
{
    bool unknown = false;
    for (std::uint32_t i = first; i < first + count; ++i) {
        const Tri t = rule_holds(table, table.rules[i], data, whole_file);
        if (t == Tri::Yes)
            return Tri::Yes;
        unknown = unknown || t == Tri::Unknown;
    }
    return unknown ? Tri::Unknown : Tri::No;
}

Tri rule_holds(const mime::Table& table, const mime::MagicRule& rule, std::span<const std::uint8_t> data,
               bool whole_file)
{
    const std::uint8_t* value = table.pool.data() + rule.value_at;
    const std::uint8_t* mask = rule.mask_at != mime::no_mask ? table.pool.data() + rule.mask_at : nullptr;
    const bool anywhere = rule.flags & mime::rule_anywhere;
    const std::uint64_t last = anywhere ? data.size() : std::uint64_t(rule.start) + rule.span;
    bool unknown = false;
    for (std::uint64_t at = rule.start; at <= last; ++at) {
        if (at + rule.length > data.size()) {
            // Bytes we have not read might hold it; bytes past the end cannot.
            unknown = unknown || (!whole_file && !anywhere);
            break;
        }
        const std::uint8_t* here = data.data() + at;
        bool same = true;
        if (mask) {
            for (std::uint32_t i = 0; i < rule.length && same; ++i)
                same = (here[i] & mask[i]) == value[i];
        } else {
            same = rule.length == 0 || (here[0] == value[0] && std::memcmp(here, value, rule.length) == 0);
        }
        if (!same)
            continue;
        Tri holds = rule.child_count == 0 ? Tri::Yes
                                          : any_holds(table, rule.first_child, rule.child_count, data, whole_file);
        if (holds == Tri::Yes && (rule.flags & mime::rule_open))
            holds = whole_file ? Tri::No : Tri::Unknown;
        if (holds == Tri::Yes)
            return Tri::Yes;
        unknown = unknown || holds == Tri::Unknown;
    }
    return unknown ? Tri::Unknown : Tri::No;
}

Tri signatures_hold(const mime::TypeRow& type, std::span<const std::uint8_t> data, bool whole_file)
{
    const mime::Table& table = mime::table();
    bool unknown = false;
    for (std::uint32_t r = type.first_range; r < type.first_range + type.range_count; ++r) {
        const Tri t = any_holds(table, table.ranges[r].first, table.ranges[r].count, data, whole_file);
        if (t == Tri::Yes)
            return Tri::Yes;
        unknown = unknown || t == Tri::Unknown;
    }
    return unknown ? Tri::Unknown : Tri::No;
}

// ---- text -------------------------------------------------------------------------

// Text shows itself in its first kilobyte, and random bytes never pass for
// that many. What follows may be anything: a script's payload, a dump's
// binary fields.
constexpr std::size_t text_sample = 1024;

// Control characters that do not occur in text. Backspace, tab, the line and
// page breaks, shift out and in (ISO-2022 Korean and Chinese), ^Z (the old
// end-of-file mark) and escape (terminal colours, ISO-2022) do.
bool is_bad_control(std::uint32_t c)
{
    return c < 0x20 ? !((c >= 0x08 && c <= 0x0F) || c == 0x1A || c == 0x1B) : c == 0x7F;
}

// The bad control characters of a text, by value. A few values that recur
// separate fields or records (^A in database exports, NUL after each name
// from find -print0, the unit and record separators): they do not count.
// Random bytes spread over all values alike, so sparing the commonest few
// still leaves nine in ten of theirs.
class Controls {
public:
    void add(std::uint32_t c)
    {
        if (is_bad_control(c))
            ++count_[c == 0x7F ? 0x20 : c];
    }

    std::size_t bad() const
    {
        constexpr std::size_t separators = 3, recurring = 3;
        std::array<std::size_t, 33> sorted = count_;
        std::partial_sort(sorted.begin(), sorted.begin() + separators, sorted.end(), std::greater<>());
        std::size_t bad = 0;
        for (std::size_t i = 0; i < sorted.size(); ++i)
            bad += i < separators && sorted[i] >= recurring ? 0 : sorted[i];
        return bad;
    }

private:
    std::array<std::size_t, 33> count_{};
};

// UTF-8 and the legacy 8-bit encodings (Latin-2, Windows-1250, KOI8-R,
// EBCDIC ...): no more than a few bytes that are neither characters nor
// layout.
bool is_8bit_text(std::span<const std::uint8_t> data)
{
    Controls controls;
    for (const std::uint8_t b : data)
        controls.add(b);
    return few(controls.bad(), data.size());
}

// Text comes in runs of one script: a character other than ASCII seldom
// stands alone in its block of 256 code points (the CJK ideographs count as
// one block, the Hangul syllables as another). Random units mostly do.
std::uint8_t script_block(std::uint32_t c)
{
    if (c >= 0x3400 && c <= 0x9FFF)
        return 0x34;
    if (c >= 0xAC00 && c <= 0xD7AF)
        return 0xAC;
    return static_cast<std::uint8_t>(c >> 8);
}

// UTF-16 in one byte order, with or without a byte order mark, in any
// script. Characters that are not text count against it: controls, broken
// surrogate pairs, noncharacters and, without a mark, the private use area
// (a random unit is one of them about one time in eight). And no more than
// one character in eight may stand alone in its script's block.
bool is_utf16_text(std::span<const std::uint8_t> data, bool big_endian, bool marked)
{
    const std::size_t units = data.size() / 2;
    Controls controls;
    std::array<std::size_t, 256> blocks{};
    std::size_t bad = 0;
    for (std::size_t i = marked ? 1 : 0; i < units; ++i) {
        const std::uint8_t* p = data.data() + 2 * i;
        const std::uint32_t c = big_endian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == units)
                break; // cut off by the end of what was read
            const std::uint8_t* q = p + 2;
            const std::uint32_t low = big_endian ? (q[0] << 8 | q[1]) : (q[1] << 8 | q[0]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                ++i;
                ++blocks[script_block(c)];
            } else {
                ++bad;
            }
            continue;
        }
        controls.add(c);
        if ((c >= 0xDC00 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF || (!marked && c >= 0xE000 && c <= 0xF8FF))
            ++bad;
        else
            ++blocks[script_block(c)];
    }
    const std::size_t counted = units - (marked ? 1 : 0);
    const auto alone = static_cast<std::size_t>(std::count(blocks.begin() + 1, blocks.end(), 1));
    return counted > 0 && few(bad + controls.bad(), counted) && alone * 8 <= counted;
}

// UTF-32, with or without a byte order mark: every unit a character.
bool is_utf32_text(std::span<const std::uint8_t> data, bool big_endian, bool marked)
{
    const std::size_t units = data.size() / 4;
    const std::size_t first = marked ? 1 : 0;
    Controls controls;
    std::size_t bad = 0;
    for (std::size_t i = first; i < units; ++i) {
        const std::uint8_t* p = data.data() + 4 * i;
        const std::uint32_t c = big_endian ? (std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3])
                                           : (std::uint32_t(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0]);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            ++bad;
        else
            controls.add(c);
    }
    return units > first && few(bad + controls.bad(), units - first);
}

bool is_text(std::span<const std::uint8_t> data)
{
    const auto starts = [&](std::initializer_list<std::uint8_t> mark) {
        return data.size() >= mark.size() && std::equal(mark.begin(), mark.end(), data.begin());
    };
    if (starts({0xFF, 0xFE, 0x00, 0x00}) && is_utf32_text(data, false, true))
        return true;
    if (starts({0x00, 0x00, 0xFE, 0xFF}))
        return is_utf32_text(data, true, true);
    if (starts({0xFF, 0xFE}))
        return is_utf16_text(data, false, true);
    if (starts({0xFE, 0xFF}))
        return is_utf16_text(data, true, true);
    // Without a mark, random bytes are never UTF-32 (most of their units lie
    // past U+10FFFF), nor UTF-16 over a kilobyte (one unit in eight is a
    // surrogate or private).
    return is_8bit_text(data) || is_utf16_text(data, false, false) || is_utf16_text(data, true, false)
        || is_utf32_text(data, false, false) || is_utf32_text(data, true, false);
}

// A run of one byte value long enough that random bytes never hold it: text
// files padded with NULs (a log after a crash, test files) are not random.
bool has_long_run(std::span<const std::uint8_t> data)
{
    constexpr std::size_t long_run = 32;
    std::size_t run = 1;
    for (std::size_t i = 1; i < data.size(); ++i) {
        run = data[i] == data[i - 1] ? run + 1 : 1;
        if (run >= long_run)
            return true;
    }
    return false;
}

// ---- verdicts ---------------------------------------------------------------------

class Judge {
public:
    Judge(std::span<const std::uint8_t> data, bool whole_file) : data_(data), whole_file_(whole_file) {}

    Plausibility of(const mime::TypeRow& type)
    {
        if (type.check == mime::Check::None)
            return Plausibility::NoVerdict;
        // The cheaper test first: a signature for the binary kinds, where the
        // right key matches at once, and the text scan for the text kinds.
        Tri sig = Tri::No;
        if (type.check == mime::Check::Magic) {
            sig = signatures_hold(type, data_, whole_file_);
            if (sig == Tri::Yes || text())
                return Plausibility::Plausible;
        } else {
            if (text() || has_long_run(data_))
                return Plausibility::Plausible;
            sig = signatures_hold(type, data_, whole_file_);
            if (sig == Tri::Yes)
                return Plausibility::Plausible;
        }
        return sig == Tri::Unknown ? Plausibility::NoVerdict : Plausibility::ProbablyWrongPassword;
    }

private:
    bool text()
    {
        if (text_ == Tri::Unknown)
            text_ = is_text(data_.first(std::min(data_.size(), text_sample))) ? Tri::Yes : Tri::No;
        return text_ == Tri::Yes;
    }

    std::span<const std::uint8_t> data_;
    bool whole_file_;
    Tri text_ = Tri::Unknown;
};

} // namespace

Plausibility judge_start(std::string_view target_name, std::span<const std::uint8_t> plain_start, bool whole_file)
{
    plain_start = within_window(plain_start, whole_file);
    if (plain_start.size() < min_judged_size)
        return Plausibility::NoVerdict;
    const std::vector<std::uint16_t> kinds = kinds_for(target_name);
    if (kinds.empty())
        return Plausibility::NoVerdict;
    // Several kinds for one name: an alarm only when every one of them is sure.
    Judge judge(plain_start, whole_file);
    Plausibility verdict = Plausibility::ProbablyWrongPassword;
    for (const std::uint16_t kind : kinds) {
        const Plausibility p = judge.of(mime::table().types[kind]);
        if (p == Plausibility::Plausible)
            return p;
        if (p == Plausibility::NoVerdict)
            verdict = p;
    }
    return verdict;
}

Plausibility judge_encrypted_start(std::string_view target_name, std::span<const std::uint8_t> encrypted_start,
                                   bool whole_file, std::u16string_view password, KeyRule rule)
{
    encrypted_start = within_window(encrypted_start, whole_file);
    // Nothing to decide: spare the cipher service.
    if (encrypted_start.size() < min_judged_size || kinds_for(target_name).empty())
        return Plausibility::NoVerdict;
    SecureBytes plain(encrypted_start.size());
    std::copy(encrypted_start.begin(), encrypted_start.end(), plain.data());
    CipherContext context = CipherContext::acquire();
    password_key(context, password, rule).decrypt(plain.span());
    return judge_start(target_name, plain.span(), whole_file);
    // `plain` wipes itself on the way out
}

Plausibility check_password(const std::filesystem::path& source, const std::filesystem::path& target,
                            std::u16string_view password, KeyRule rule)
{
    SecureBytes start(plausibility_window);
    std::size_t got = 0;
    bool whole_file = false;
    try {
        // Opening a named pipe waits for a writer, and reading it or a device
        // would take bytes the job needs: plain files only.
        const std::optional<file_io::FileInfo> info = file_io::info_of_path(source);
        if (!info || !info->regular)
            return Plausibility::NoVerdict;
        file_io::File file = file_io::open_source(source);
        if (!file.info().regular)
            return Plausibility::NoVerdict;
        while (got < start.size()) {
            const std::size_t n = file.read(start.data() + got, start.size() - got);
            if (n == 0) {
                whole_file = true;
                break;
            }
            got += n;
        }
    } catch (const std::exception&) {
        return Plausibility::NoVerdict;
    }
    const std::u8string name = target.filename().u8string();
    return judge_encrypted_start(std::string_view(reinterpret_cast<const char*>(name.data()), name.size()),
                                 start.span().first(got), whole_file, password, rule);
}

std::string_view plausibility_kind(std::string_view target_name)
{
    const std::vector<std::uint16_t> kinds = kinds_for(target_name);
    if (kinds.empty())
        return {};
    return mime::table().text_at(mime::table().types[kinds.front()].name_at);
}

} // namespace trezorka
