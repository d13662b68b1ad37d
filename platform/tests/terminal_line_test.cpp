// The console's line editing on a terminal: the keys act on the part not
// yet handed over, as the terminal's driver would, and a line longer than
// the buffer reads as longer.
#include <gtest/gtest.h>

#include <string>

#include "../src/sal_terminal.h"

namespace {

using sal_internal::TerminalLine;
using Key = TerminalLine::Key;

std::string echoed;

void echo(const std::string &text) {
    echoed += text;
}

// The keys typed into a line over a buffer of `size`: the last key's result
// and the line's text.
std::pair<Key, std::string> typed(const std::string &keys, size_t size = 64) {
    std::string buf(size, '\0');
    TerminalLine line(buf.data(), size, echo);
    Key key = Key::more;
    for (char c : keys)
        if ((key = line.take(static_cast<unsigned char>(c))) != Key::more) break;
    return {key, buf.substr(0, line.length())};
}

TEST(terminal_line, KeysEditThePartNotHandedOver) {
    echoed.clear();
    EXPECT_EQ(typed("vlan destroy\x7f\x7f\x7f\x7f\x7f\x7f\x7f"
                    "create 5\n"),
              std::make_pair(Key::line, std::string("vlan create 5")));
    EXPECT_EQ(echoed.substr(0, 13), "vlan destroy\b");
    EXPECT_EQ(typed("vlan show\x15"
                    "echo a b  \x17"
                    "c\n")
                  .second,
              "echo a c");
    // A Ctrl-D hands the part over: erase and kill stop there.
    EXPECT_EQ(typed("abc\x04\x15\x7f"
                    "d\n")
                  .second,
              "abcd");
    EXPECT_EQ(typed("\x04").first, Key::end);
    EXPECT_EQ(typed("ab\x04\x04"), std::make_pair(Key::end, std::string("ab")));
    // Literal next keeps a key as typed; a character of several bytes is
    // erased whole.
    EXPECT_EQ(typed("a\x16\x15\n").second, "a\x15");
    EXPECT_EQ(typed("x\xc3\xa9\x7f\n").second, "x");
    // A signal key is handed back to be raised, after literal next kept.
    EXPECT_EQ(typed("ab\x03").first, Key::signal);
    EXPECT_EQ(typed("a\x16\x03\x16\x1c\n").second, "a\x03\x1c");
    // Return ends the line, but after literal next it is kept.
    EXPECT_EQ(typed("a\x16\rb\r"), std::make_pair(Key::line, std::string("a\rb")));
}

TEST(terminal_line, WhatDoesNotFitIsCountedAndErasedFirst) {
    // Eight bytes hold seven characters: an eighth makes the line too long.
    EXPECT_EQ(typed("12345678\n", 8).second, "1234567");
    EXPECT_EQ(typed("1234567890\x7f\x7f\x7f\n", 8).second, "1234567");
    EXPECT_EQ(typed("1234567890\x7f\x7f\x7f\x7f\n", 8).second, "123456");
}

}  // namespace
