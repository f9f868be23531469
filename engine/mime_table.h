#pragma once

// The compiled-in table of file kinds the wrong-password check judges by:
// glob patterns that map a name to a kind, and per kind how a file's start is
// judged. Built from the freedesktop shared-mime-info database by
// tools/gen_mime_table.py; nothing is read at run time.

#include <cstdint>
#include <span>

namespace trezorka::mime {

enum class Check : std::uint8_t {
    None,  // neither text nor a dependable signature: no verdict
    Magic, // the start must match one of the kind's signatures
    Text,  // the start must be text (or match a signature)
};

// Bytes at some offset in [start, start + span], compared under a mask when
// mask_at is not no_mask. It holds when it matches and, if it has children,
// one of them holds too.
struct MagicRule {
    std::uint32_t start;
    std::uint32_t span;
    std::uint16_t value_at;    // into the pool
    std::uint16_t mask_at;     // into the pool, or no_mask
    std::uint16_t first_child;
    std::uint8_t length;
    std::uint8_t child_count;
    std::uint8_t flags;        // RuleFlags
};
inline constexpr std::uint16_t no_mask = 0xFFFF;

enum RuleFlags : std::uint8_t {
    // At any offset from start to the end of the bytes read: a stub may come
    // first. Never unknown, whatever lies past the bytes read.
    rule_anywhere = 1,
    // The start of a stub in front of the kind's real signature: it settles
    // nothing unless the whole file was read, when the signature would have
    // been found.
    rule_open = 2,
};

// Sibling rules side by side: one kind's top-level signatures.
struct RuleRange {
    std::uint32_t first;
    std::uint32_t count;
};

struct TypeRow {
    std::uint32_t name_at;     // into the text
    Check check;
    std::uint32_t first_range; // into the rule ranges; any rule in them may hold
    std::uint32_t range_count;
};

enum GlobFlags : std::uint8_t { glob_case_sensitive = 1 };

struct GlobRow {
    std::uint32_t pattern_at; // into the text; lower case unless case-sensitive
    std::uint8_t weight;
    std::uint8_t flags;
    std::uint16_t type;
};

struct Table {
    std::span<const std::uint8_t> pool;
    std::span<const MagicRule> rules;
    std::span<const RuleRange> ranges;
    std::span<const TypeRow> types;
    std::span<const GlobRow> globs;
    std::span<const char> text; // NUL-terminated names and patterns

    const char* text_at(std::uint32_t at) const { return text.data() + at; }
};

const Table& table();

} // namespace trezorka::mime
