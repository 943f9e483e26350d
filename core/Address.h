#pragma once
// Bare e-mail addresses: taking them out of From and To header values and judging
// whether a text is an address the program accepts.
//
// Senders are identified by their bare address in lower case. ParseAddress reads the
// loose forms mail programs write ("Name <box@host>", "\"Name\" box@host",
// "box@host (Name)", "Name [box@host]") without a full RFC 5322 parser: round and
// square brackets count as angle brackets. IsValidEmail accepts exactly the language
//   local "@" (label ".")+ last
// where local is one or more of a-z 0-9 "_" "-" ".", every label one or more of a-z
// 0-9 "-", and last 2 to 7 of those; letter case is ignored and nothing is trimmed.
//
// Every function takes any bytes and runs in time linear in the length of its input.

#include <string>
#include <string_view>

namespace MiscFuncs {

// The bare address of a header value, lower case and trimmed of blanks; "" when the
// value is malformed (its last "<" stands behind its first ">", counting "(" and "["
// as "<" and ")" and "]" as ">"). Apostrophes are dropped. displayName is set only
// when the value carries a name part; otherwise the caller's value stays, so callers
// clear it first.
//
// A parenthesised comment ("box@host (Name)", "(Name) <box@host>") read that way
// would give the comment, or "", as the sender; when that result is not a valid
// address, the value is read once more with its comments removed, and the first
// comment becomes the display name when no other name is found.
std::string ParseAddress(std::string_view value, std::string& displayName);

// True when the text, lower-cased, is in the address language described above.
bool IsValidEmail(std::string_view text);

// The older, looser hand-written check, kept as the documented fallback. On the
// lower-cased text: at least 6 characters; exactly one "@" with a non-empty local
// part of a-z 0-9 "-" "_" "." and a non-empty domain; the domain holds no "_" and no
// "..", holds a "." and its last label is 2 or more letters a-z; the label before it
// holds at least one letter a-z.
bool IsValidEmailFallback(std::string_view text);

// The text after the first "@"; the whole text when it holds no "@".
std::string DomainOf(std::string_view address);
// The text before the first "@"; "" when it holds no "@".
std::string UserOf(std::string_view address);

}  // namespace MiscFuncs
