#include "core/Address.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace MiscFuncs;

struct ParseCase {
    const char* value;
    const char* address;
    const char* name;  // the display name afterwards; the caller passes "<unset>"
};

TEST(ParseAddressTest, HeaderValueForms) {
    const ParseCase cases[] = {
        {"  John Smith   <John.Smith@Example.COM> ", "john.smith@example.com", "John Smith"},
        {"\"John Smith\" john@example.com", "john@example.com", "John Smith"},
        {"\"John Smith\"", "", "John Smith"},
        {"\"x", "x", ""},                      // the only quote is the first character
        {"Bob@Example.com", "bob@example.com", "<unset>"},
        {"Pat O'Brien <Pat.O'Brien@example.com>", "pat.obrien@example.com", "Pat OBrien"},
        {"Bob [bob@example.com]", "bob@example.com", "Bob"},
        {"<a@example.com> <b@example.com>", "", "<unset>"},  // last "<" behind first ">"
        {"Bob <bob@example.com", "bob <bob@example.com", "<unset>"},  // unclosed: whole text
        {"", "", "<unset>"},
        {"<>", "", ""},
    };
    for (const ParseCase& c : cases) {
        std::string name = "<unset>";
        EXPECT_EQ(ParseAddress(c.value, name), c.address) << c.value;
        EXPECT_EQ(name, c.name) << c.value;
    }
}

// A quoted display name may hold brackets and "@" of its own: the address is in the
// angle brackets outside the quotes.
TEST(ParseAddressTest, QuotedNamesKeepTheirBrackets) {
    const ParseCase cases[] = {
        {"\"Friend <x@y>\" <friend@good.example>", "friend@good.example", "\"Friend <x@y>\""},
        {"\"boss@work.example\" <Friend@Good.example>", "friend@good.example", "\"boss@work.example\""},
        {"\"a \\\" quote <q@q>\" <q@good.example>", "q@good.example", "\"a \\\" quote <q@q>\""},
        {"\"[list] Friend\" <friend@good.example>", "friend@good.example", "\"[list] Friend\""},
        {"\"open <friend@good.example>", "friend@good.example", "\"open"},  // a quote left open
    };
    for (const ParseCase& c : cases) {
        std::string name = "<unset>";
        EXPECT_EQ(ParseAddress(c.value, name), c.address) << c.value;
        EXPECT_EQ(name, c.name) << c.value;
    }
}

// Read as brackets, a comment would make the sender "the comment" or "": the filter
// would then delete a good message unread. Such values are read without comments.
TEST(ParseAddressTest, CommentsDoNotReplaceTheAddress) {
    const ParseCase cases[] = {
        {"bob@example.com (Bob Smith)", "bob@example.com", "Bob Smith"},
        {"(Bob Smith) <Bob@Example.com>", "bob@example.com", "Bob Smith"},
        {"Bob (work) <bob@example.com>", "bob@example.com", "Bob"},
        {"bob@example.com (Bob (the (nested)) one)", "bob@example.com", "Bob (the (nested)) one"},
        {"bob@example.com (unclosed", "bob@example.com", "unclosed"},
        {"\"Bob (home)\" <bob@example.com>", "bob@example.com", "\"Bob (home)\""},
        // A bracketed result that is already an address is kept as it always was.
        {"bob@example.com (alice@example.org)", "alice@example.org", "bob@example.com"},
        // Without a valid reading either way the original reading stands.
        {"no address (here)", "here", "no address"},
        {"(a) <b> (c)", "", "<unset>"},
    };
    for (const ParseCase& c : cases) {
        std::string name = "<unset>";
        EXPECT_EQ(ParseAddress(c.value, name), c.address) << c.value;
        EXPECT_EQ(name, c.name) << c.value;
    }
}

TEST(IsValidEmailTest, TheAddressLanguage) {
    struct Case { const char* text; bool valid; };
    const Case cases[] = {
        {"a@b.cd", true},                  // last label of 2
        {"a@b.abcdefg", true},             // ... and of 7
        {"a@b.c", false},                  // 1
        {"a@b.abcdefgh", false},           // 8
        {"John.Smith_x-y@Mail-1.Example.CO", true},
        {"a@b.c-1", true},                 // digits and "-" in the last label
        {"a@1.23", true},
        {"..@-.--", true},
        {"a@example", false},              // no dot after "@"
        {"a@@example.com", false},
        {"a@b@example.com", false},
        {"a @example.com", false},         // a blank anywhere, also at either end
        {" a@example.com", false},
        {"a@example.com ", false},
        {"a@example.com\n", false},
        {"@example.com", false},
        {"a@", false},
        {"a@.example.com", false},         // empty label
        {"a@example..com", false},
        {"a@example.com.", false},
        {"a+b@example.com", false},
        {"a@exa_mple.com", false},
        {"caf\xe9@example.com", false},    // letters are ASCII only
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsValidEmail(c.text), c.valid) << c.text;
    EXPECT_FALSE(IsValidEmail(std::string_view("a\0b@example.com", 15)));
}

TEST(IsValidEmailTest, FallbackCheck) {
    struct Case { const char* text; bool valid; };
    const Case cases[] = {
        {"a@b.cd", true},
        {"A@B.CD", true},                  // lower-cased first
        {"a@b.c", false},                  // 5 characters
        {"ab@c.d", false},                 // last label of 1
        {"a@b.c1", false},                 // a digit in the last label
        {"a@123.com", false},              // the label before the last is all digits
        {"a@1x.com", true},
        {"a@mail.123.com", false},
        {"a@.x.com", true},                // only the label before the last is looked at
        {"a@x..com", false},
        {"a@x_y.com", false},
        {"a@examplecom", false},
        {"a@b@c.com", false},
        {"abcdef", false},
        {"@bc.de", false},
        {"abcde@", false},
        {"a+b@c.de", false},
        {"abc@de.abcdefghij", true},       // no upper limit on the last label here
    };
    for (const Case& c : cases) EXPECT_EQ(IsValidEmailFallback(c.text), c.valid) << c.text;
}

TEST(AddressPartsTest, SplitAtTheFirstAt) {
    EXPECT_EQ(DomainOf("bob@example.com"), "example.com");
    EXPECT_EQ(DomainOf("a@b@c"), "b@c");
    EXPECT_EQ(DomainOf("example.com"), "example.com");
    EXPECT_EQ(DomainOf(""), "");
    EXPECT_EQ(UserOf("bob@example.com"), "bob");
    EXPECT_EQ(UserOf("@example.com"), "");
    EXPECT_EQ(UserOf("a@b@c"), "a");
    EXPECT_EQ(UserOf("postmaster"), "");
}

// The checks run in linear time; a quadratic or backtracking one would not finish.
TEST(AddressLimitsTest, MegabyteHeaderValues) {
    const std::size_t mb = 1 << 20;
    const std::string local(mb, 'a');
    std::string name;
    EXPECT_TRUE(IsValidEmail(local + "@example.com"));
    EXPECT_FALSE(IsValidEmail(local + "@" + std::string(mb, 'b')));
    std::string labels;
    for (std::size_t i = 0; i < mb / 2; ++i) labels += "a.";
    EXPECT_FALSE(IsValidEmail("x@" + labels));
    EXPECT_TRUE(IsValidEmailFallback(local + "@example.com"));
    EXPECT_EQ(ParseAddress(std::string(mb, '(') + "x@example.com", name), std::string(mb, '<') + "x@example.com");
    EXPECT_EQ(ParseAddress("Name <" + local + "@example.com>", name), local + "@example.com");
    std::string mixed;
    for (std::size_t i = 0; i < mb / 4; ++i) mixed += "(<)>";
    EXPECT_EQ(ParseAddress(mixed, name), "");
    EXPECT_EQ(ParseAddress(std::string(mb, '"'), name), "");
}

}  // namespace
