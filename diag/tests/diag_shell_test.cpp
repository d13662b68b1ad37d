// The command monitor driven line by line through a scripted console.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "diag_shell.h"
#include "sal.h"
#include "storage_host.h"
#include "diag_monitor_fixture.h"

namespace {

namespace fs = std::filesystem;
using diag_test::monitor;

TEST_F(monitor, PromptAbbreviationsAndDispatchMessages) {
    std::string out =
        run({"pv", "PVlan", "co", "hist", "his", "port help", "PRINTENV bogus", "EXIT clean"});
    EXPECT_TRUE(has(out, "DXP> ")) << out;
    EXPECT_FALSE(has(out, "Unknown command: pv")) << out;  // an abbreviation of PVlan
    EXPECT_TRUE(has(out, "DXP> Unknown command: co\n")) << out;
    EXPECT_TRUE(has(out, "History not available\nDXP> Unknown command: his\n")) << out;
    EXPECT_TRUE(has(out, "Usage (PORT): Parameters: <ports> [AutoNeg=on|off] [enable] [disable]\n"))
        << out;
    EXPECT_TRUE(has(out, "PRINTENV: WARNING: excess arguments ignored beginning with 'bogus'\n"))
        << out;
    EXPECT_TRUE(has(out, "Usage (EXIT): [clean]\n")) << out;
    EXPECT_TRUE(has(out, "EOF\n")) << out;
}

TEST_F(monitor, HelpListsAndAliases) {
    std::string out = run({"help", "?", "help ?? bogus"});
    EXPECT_TRUE(has(out, "\tCoPy                Copy a file\n")) << out;
    EXPECT_FALSE(has(out, "\tQUIT "));  // aliases are not listed
    EXPECT_TRUE(has(out, "\nNumber Formats:\n")) << out;
    EXPECT_TRUE(has(out, "?              ??             BackGround     CASE           CD  "))
        << out;
    EXPECT_TRUE(has(out, "Usage (?\?): is an alias for \"Help\"\n")) << out;
    EXPECT_TRUE(has(out, "Usage: Command not found: bogus\n")) << out;
}

TEST_F(monitor, LineSemanticsAndResults) {
    std::string out =
        run({"Echo a; bogus; Echo b", "Echo c; LOOP; Echo d", "1", "Echo $?", "0", "Echo $?",
             "EXPR 3 + 4; Echo $?", "Echo x \\", "y", "Echo one", "Echo !! !$", "   ", "!!"});
    EXPECT_TRUE(has(out, "a\nUnknown command: bogus\nb\n")) << out;
    EXPECT_TRUE(has(out, "c\nUsage (LOOP)")) << out;
    EXPECT_FALSE(has(out, "d\n"));
    EXPECT_TRUE(has(out, "DXP> 0\nDXP> DXP> -1\n")) << out;
    EXPECT_TRUE(has(out, "DXP> 7\n")) << out;
    EXPECT_TRUE(has(out, "x y\n")) << out;
    // A blank line leaves the history alone.
    EXPECT_TRUE(has(out,
                    "one\nDXP> Echo Echo one one\nEcho one one\nDXP> DXP> Echo Echo one "
                    "one\nEcho one one\nDXP> EOF\n"))
        << out;
}

TEST_F(monitor, TokenizerQuotesVariablesAndErrors) {
    std::string out = run(
        {"SETENV x \"1 2\"", "Echo \"a  b\"; Echo '$x'", "Echo $x \"$x\" ${x}y", "Echo $?x $?nope",
         "SETENV s \"Echo in;Echo out\"", "$s; Echo gone", "Echo \"\" z", "Echo \"open", "Echo ${x",
         "Echo @x", "Echo $" + std::string(300, 'n'), "SETENV x", "SETENV r '$r'", "Echo $r end"});
    EXPECT_TRUE(has(out, "a  b\n$x\n")) << out;
    EXPECT_TRUE(has(out, "1 2 1 2 1 2y\n")) << out;
    EXPECT_TRUE(has(out, "1 0\n")) << out;
    EXPECT_TRUE(has(out, "DXP> in\nDXP> ")) << out;
    EXPECT_FALSE(has(out, "gone"));
    EXPECT_TRUE(has(out, " z\n")) << out;
    EXPECT_TRUE(has(out, "ERROR: Command line ended while in a quoted string\n")) << out;
    EXPECT_TRUE(has(out, "DXP> 1 2\nDXP> 1 2\n")) << out;
    EXPECT_TRUE(has(out, "ERROR: Variable name too long\n")) << out;
    EXPECT_TRUE(has(out, "DXP> end\n")) << out;  // a value naming itself stops expanding

    args_t *a = static_cast<args_t *>(std::calloc(1, sizeof(args_t)));
    std::string many;
    for (int i = 0; i < ARGS_CNT; i++)
        many += "w ";
    EXPECT_EQ(sh_tokenize(many.c_str(), nullptr, a), 0);
    EXPECT_EQ(a->a_argc, ARGS_CNT);
    EXPECT_EQ(sh_tokenize((many + "w").c_str(), nullptr, a), -1);
    EXPECT_EQ(sh_tokenize("Echo \\", nullptr, a), -1);
    EXPECT_TRUE(has(console.out, "ERROR: Can't escape EOL\n"));
    std::string long_word(ARGS_BUFFER + 100, 'q');
    EXPECT_EQ(sh_tokenize(long_word.c_str(), nullptr, a), 0);
    EXPECT_EQ(std::strlen(a->a_argv[0]), static_cast<size_t>(ARGS_BUFFER - 1));
    std::free(a);
}

TEST_F(monitor, NameMatchingRule) {
    EXPECT_TRUE(parse_name_match("PortBitMap", "pbm=fe0", '='));
    EXPECT_TRUE(parse_name_match("PortBitMap", "portbitmap", '\0'));
    EXPECT_FALSE(parse_name_match("PortBitMap", "port", '\0'));
    EXPECT_TRUE(parse_name_match("HISTory", "HIST", '\0'));
    const cmd_t *c = static_cast<const cmd_t *>(
        parse_lookup("set", diag_common_cmds, sizeof(cmd_t), diag_common_cmd_cnt));
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(c->c_cmd, "SET");  // the whole name wins over SETENV
}

TEST_F(monitor, VariablesAndScopes) {
    script("scopes.soc", "LOCal y 2\nPRINTENV all\n");
    std::string out = run({"LOCal x 1", "SETENV x 2", "Echo $x", "SETENV _x 1", "Echo $?",
                           "SETENV nope", "Echo $?", "scopes", "PRINTENV local"});
    EXPECT_TRUE(has(out, "SETENV: Warning: variable x shadowed by local variable\n")) << out;
    EXPECT_TRUE(has(out, "DXP> 1\n")) << out;
    EXPECT_TRUE(has(out, "DXP> -1\nDXP> DXP> -1\n")) << out;
    size_t l1 = out.find("Scope Level 1"), l2 = out.find("Scope Level 2");
    ASSERT_NE(l1, std::string::npos);
    ASSERT_NE(l2, std::string::npos);
    EXPECT_TRUE(has(out.substr(l1, l2 - l1), "y = 2"));
    EXPECT_TRUE(has(out.substr(l2), "x = 1"));
    EXPECT_FALSE(has(out.substr(out.rfind("Local Variables")), "y = "));
}

TEST_F(monitor, SetOptions) {
    std::string out = run({"SET", "SET LoopError=off", "SET bogus=1", "Echo $?"});
    EXPECT_TRUE(has(out, "Current settings:\n\tIFError=True\n")) << out;
    EXPECT_TRUE(has(out, "\tMoreLines=20\n")) << out;
    EXPECT_EQ(diag_settings.loop_error, 0);
    EXPECT_TRUE(has(out, "SET: Error: Unknown option: bogus=1\nDXP> -1\n")) << out;
}

TEST_F(monitor, LoopsConditionsAndExpressions) {
    std::string out = run({"LOOP 3 'Echo a' 'Echo b'",
                           "LOOP 3 bogus 'Echo never'",
                           "FOR i=0,10,5 'Echo $i'",
                           "FOR i=3,1,-1 'Echo $i'",
                           "FOR i=0,1,1,0x%02x 'Echo $i'",
                           "FOR i=0,1,1,%s 'Echo $i'",
                           "FOR i=0,1,1,%n 'Echo $i'",
                           "FOR i=0,1,1,%d%d 'Echo $i'",
                           "FOR i=0,99999999999,1 'Echo wrapped'",
                           "FOR i=99999999999,0,-1 'Echo wrapped'",
                           "FOR i=0,2,0x100000000 'Echo wrapped'",
                           "FOR i=0,0x7fffffff,0x40000000 'Echo $i'",
                           "EXPR 99999999999",
                           "LOOP 99999999999 'Echo wrapped'",
                           "LOOP -1 'Echo x'",
                           "CASE b a 'Echo A' b 'Echo B' * 'Echo S'",
                           "CASE z a 'Echo A' * 'Echo S'",
                           "IF !0 'Echo yes' else 'Echo no'",
                           "IF 0 'Echo yes' else 'Echo no'",
                           "IF 1 && 0 'Echo both' else 'Echo n2'",
                           "IF 0 || 1 'Echo either'",
                           "IF bogus 'Echo t'",
                           "IF",
                           "EXPR " + std::string(130, '1'),
                           "EXPR 0 - 4",
                           "Echo still here",
                           "TIME 'Echo t1'"});
    EXPECT_TRUE(has(out, "a\nb\na\nb\na\nb\nDXP> ")) << out;
    EXPECT_EQ(out.find("never"), std::string::npos);
    EXPECT_TRUE(has(out, "0\n5\n10\nDXP> 3\n2\n1\nDXP> 0x00\n0x01\n")) << out;
    size_t bad = 0;
    for (size_t p = 0; (p = out.find("FOR: Error: Invalid loop format\n", p)) != std::string::npos;
         p++)
        bad++;
    EXPECT_EQ(bad, 3u);
    EXPECT_TRUE(has(out, "LOOP: Error: Invalid loop count: -1\n")) << out;
    // Bounds and steps past an integer are refused: wrapped, they would run
    // another loop.
    EXPECT_FALSE(has(out, "wrapped")) << out;
    EXPECT_TRUE(has(out,
                    "FOR: Error: Invalid loop value: 99999999999\nDXP> "
                    "FOR: Error: Invalid loop value: 99999999999\nDXP> "
                    "FOR: Error: Invalid loop value: 0x100000000\n"))
        << out;
    EXPECT_TRUE(has(out, "0\n1073741824\nDXP> Invalid expression: 99999999999\n")) << out;
    EXPECT_TRUE(has(out, "LOOP: Error: Invalid loop count: 99999999999\n")) << out;
    EXPECT_TRUE(has(out, "B\nDXP> S\nDXP> yes\nDXP> no\nDXP> n2\nDXP> either\n")) << out;
    EXPECT_TRUE(has(out, "Unknown command: bogus\nDXP> ")) << out;
    EXPECT_FALSE(has(out, "\nt\n"));
    EXPECT_TRUE(has(out, "IF: missing test condition\n")) << out;
    EXPECT_TRUE(has(out, "Invalid expression: 111")) << out;
    EXPECT_TRUE(has(out, "the value -4 is a command result code")) << out;  // not an exit
    EXPECT_TRUE(has(out, "still here\n")) << out;
    EXPECT_TRUE(has(out, "t1\ntime{Echo t1} = ")) << out;
    EXPECT_TRUE(has(out, "time{TOTAL} = ")) << out;
}

TEST_F(monitor, ScriptsParametersErrorsAndNesting) {
    script("args.soc", "# comment\nEcho got $1 \\\n $2\nbogus\nEcho after\n");
    script("scripts/deep.soc", "deep\n");
    script("leave.soc", "EXIT\nEcho not here\n");
    std::string out = run({"RCLoad args.soc p1 p2", "Echo $?", "deep", "SET RCError=off",
                           "args x y", "Echo $?", "leave", "Echo $?", "RCLoad none.soc"});
    EXPECT_TRUE(has(out,
                    "got p1 p2\nUnknown command: bogus\n"
                    "Error: file args.soc: line 4 (error code -3): script terminated\n"));
    EXPECT_TRUE(has(out, "DXP> -1\n")) << out;
    EXPECT_TRUE(has(out, "script continuing\nafter\nDXP> 0\n")) << out;
    EXPECT_TRUE(has(out, "rcload: recursion too deep\n")) << out;
    EXPECT_FALSE(has(out, "not here"));
    EXPECT_TRUE(has(out, "RCLoad: Error: file not found: none.soc\n")) << out;
}

TEST_F(monitor, RcCacheKeepsScripts) {
    script("c.soc", "Echo cached\n");
    std::string out = run({"RCCache add c.soc", "RCCache add c.soc", "RCCache", "c"});
    fs::remove(dir / "fs" / "c.soc");
    out += run({"c", "RCCache delete c.soc", "c", "RCCache clear x"});
    EXPECT_TRUE(has(out, "RCCache: ERROR: c.soc already cached\n")) << out;
    EXPECT_TRUE(has(out, "cached c.soc (12 bytes)\n")) << out;
    EXPECT_TRUE(has(out, "DXP> cached\nDXP> DXP> Unknown command: c\n")) << out;
    EXPECT_TRUE(has(out, "RCCache: ERROR: clear takes no arguments\n")) << out;
}

TEST_F(monitor, ShellLevelEndsOnTildeExitAndProxyRequests) {
    std::string out = run({"SETENV prompt 'mon\\\\n>'", "~", "Echo not run"});
    EXPECT_TRUE(has(out, "mon\n>EOF\n")) << out;
    EXPECT_EQ(console.lines.size(), 1u);
    EXPECT_EQ(run({"EXIT", "Echo not run"}).find("not run"), std::string::npos);
    out = run({"SETENV proxy_cmd_ enter_batchmode", "Echo quiet", "SETENV prompt"});
    EXPECT_TRUE(has(out, "mon\n>quiet\n")) << out;
    // A nested level that does not leave at the end of input says how to,
    // but a closed input cannot keep it reading.
    console.out.clear();
    EXPECT_EQ(diag_shell(-1, "N", 0), 0);
    EXPECT_TRUE(has(console.out, "N> Type \"EXIT\" to exit shell\nN> ")) << console.out;
    EXPECT_TRUE(has(console.out, "EOF\n"));
    out = run({"Pause -x wait here", "a", "x", "Echo $?", "Pause", "q", "Echo $?"});
    EXPECT_TRUE(has(out, "wait here\n\x1b[7mHit X to continue, Q to quit\x1b[m\r\x1b[K\a")) << out;
    EXPECT_TRUE(has(out, "DXP> 0\n")) << out;
    EXPECT_TRUE(has(out, "Hit SPACE to continue")) << out;
    EXPECT_TRUE(has(out, "DXP> -1\n")) << out;
    EXPECT_EQ(out.find("mon\n>EOF"), std::string::npos);
}

TEST_F(monitor, TheBreakKeyStopsWhatRunsAndNotTheNextLine) {
    run({"Echo start"});             // this thread runs the console
    EXPECT_EQ(sh_break_raise(), 0);  // no command holds a break context
    console.out.clear();
    EXPECT_EQ(sh_process_command(-1, "Echo one; Echo two"), CMD_INTR);
    EXPECT_EQ(sh_process_command(-1, "SLeep 5"), CMD_INTR);
    EXPECT_FALSE(has(console.out, "one")) << console.out;
    // A step that must not be cut defers the break.
    sh_break_block(1);
    EXPECT_EQ(sh_stop_requested(), 0);
    sh_break_block(0);
    EXPECT_EQ(sh_stop_requested(), 1);
    // A break typed before a line was read belonged to what ran then.
    std::string out = run({"Echo after"});
    EXPECT_TRUE(has(out, "after\n")) << out;
    EXPECT_EQ(sh_stop_requested(), 0);
    sh_break_push(nullptr);
    EXPECT_EQ(sh_break_raise(), 1);
    sh_break_pop(nullptr);
    sh_break_clear();
}

TEST_F(monitor, ParseTablesOptionsPromptsAndMasks) {
    static const char *const colours[] = {"Red", "GReen", nullptr};
    int count = 7, on = 0, colour = 0;
    char *name = nullptr;
    parse_table_t pt;
    auto table = [&](args_t *a) {
        parse_table_init(0, &pt);
        parse_table_add(&pt, "Count", PQ_INT | PQ_DFL, nullptr, &count, nullptr);
        parse_table_add(&pt, "ENable", PQ_BOOL | PQ_NO_EQ, reinterpret_cast<void *>(1), &on,
                        nullptr);
        parse_table_add(&pt, "Name", PQ_STRING, const_cast<char *>("x"), &name, nullptr);
        parse_table_add(&pt, "Colour", PQ_MULTI, nullptr, &colour, colours);
        return parse_table_args(a, &pt);
    };
    args_t *a = static_cast<args_t *>(std::calloc(1, sizeof(args_t)));
    sh_tokenize("c=0x10 en=off name=abc col=gr rest", nullptr, a);
    EXPECT_EQ(table(a), 4);
    EXPECT_STREQ(ARG_CUR(a), "rest");
    EXPECT_EQ(count, 16);
    EXPECT_EQ(on, 0);
    EXPECT_STREQ(name, "abc");
    EXPECT_EQ(colour, 1);
    parse_table_show(&pt);
    EXPECT_TRUE(has(console.out, "\tCount=16\n\tENable=False\n\tName=abc\n\tColour=GReen\n"));
    parse_table_done(&pt);
    EXPECT_EQ(name, nullptr);

    sh_tokenize("col=blue", nullptr, a);
    EXPECT_EQ(table(a), -1);
    EXPECT_TRUE(has(console.out, "col=blue refused: not one of Red, GReen; nothing changed\n"));
    parse_table_done(&pt);
    // A count that an int cannot hold is refused, not wrapped.
    sh_tokenize("c=99999999999", nullptr, a);
    EXPECT_EQ(table(a), -1);
    EXPECT_TRUE(has(console.out, "c=99999999999 refused: number too large; nothing changed\n"));
    EXPECT_EQ(count, 16);
    parse_table_done(&pt);
    // Nor is a word that is no integer taken as 0 or as its first digits.
    for (const char *word : {"abc", "12a", ""}) {
        sh_tokenize((std::string("c=") + word).c_str(), nullptr, a);
        EXPECT_EQ(table(a), -1) << word;
        EXPECT_TRUE(has(console.out,
                        std::string("c=") + word + " refused: not an integer; nothing changed\n"))
            << word;
        EXPECT_EQ(count, 16) << word;
        parse_table_done(&pt);
    }

    // A hexadecimal option holds any 32-bit pattern, typed in decimal too;
    // past 32 bits it is refused.
    int pattern = 0;
    auto hex_table = [&](args_t *args) {
        parse_table_init(0, &pt);
        parse_table_add(&pt, "Pattern", PQ_HEX | PQ_DFL, nullptr, &pattern, nullptr);
        return parse_table_args(args, &pt);
    };
    for (const auto &[word, value] :
         std::vector<std::pair<std::string, uint32_t>>{{"3735928559", 0xdeadbeef},
                                                       {"0xdeadbeef", 0xdeadbeef},
                                                       {"4294967295", 0xffffffff},
                                                       {"-1", 0xffffffff},
                                                       {"2147483647", 0x7fffffff}}) {
        sh_tokenize(("pattern=" + word).c_str(), nullptr, a);
        EXPECT_EQ(hex_table(a), 1) << word;
        EXPECT_EQ(static_cast<uint32_t>(pattern), value) << word;
        parse_table_done(&pt);
    }
    sh_tokenize("pattern=0xzz", nullptr, a);
    EXPECT_EQ(hex_table(a), -1);
    EXPECT_TRUE(has(console.out, "pattern=0xzz refused: not an integer; nothing changed\n"));
    parse_table_done(&pt);
    for (const char *word : {"4294967296", "0x100000000", "-2147483649"}) {
        sh_tokenize((std::string("pattern=") + word).c_str(), nullptr, a);
        EXPECT_EQ(hex_table(a), -1) << word;
        EXPECT_TRUE(has(console.out, std::string("pattern=") + word +
                                         " refused: number too large; nothing changed\n"))
            << word;
        EXPECT_EQ(static_cast<uint32_t>(pattern), 0x7fffffffu) << word;
        parse_table_done(&pt);
    }

    // Interactive: the offered values, "-" to go back, a bad answer asked
    // again, and the end of input taking what is offered.
    console.lines = {"5", "-", "6", "maybe", "yes"};
    sh_tokenize("=", nullptr, a);
    EXPECT_EQ(table(a), 4);
    EXPECT_TRUE(has(console.out,
                    "Count [16] ENable [True] Count [5] ENable [True] Invalid response: not a "
                    "yes/no word (Yes, No, True, False, On, Off)\nENable [True] Name [x] "
                    "\nName[x]\nColour[Red]\n"));
    EXPECT_EQ(count, 6);
    EXPECT_EQ(on, 1);
    parse_table_done(&pt);

    // Port modes: ability words, listed back in the table's own order.
    uint32_t mode = 0;
    parse_table_init(0, &pt);
    parse_table_add(&pt, "Mode", PQ_PORTMODE, nullptr, &mode, nullptr);
    sh_tokenize("mode=100full,pause_tx", nullptr, a);
    EXPECT_EQ(parse_table_args(a, &pt), 1);
    EXPECT_EQ(mode, 0x408u);
    console.out.clear();
    parse_table_show(&pt);
    EXPECT_EQ(console.out, "\tMode=100full,pause_tx\n");
    sh_tokenize("mode=fast", nullptr, a);
    EXPECT_EQ(parse_table_args(a, &pt), -1);
    EXPECT_TRUE(has(console.out,
                    "mode=fast refused: not a port mode (examples: "
                    "1000full,100,10,pause 100,pause_tx,pause_rx); nothing changed\n"));
    parse_table_done(&pt);
    std::free(a);

    static const parse_mask_t masks[] = {{"Alpha", 1}, {"@al", 1}, {"Beta", 2}, {nullptr, 0}};
    uint32_t mask = 0;
    EXPECT_EQ(parse_mask("+b", masks, &mask), 0);
    EXPECT_EQ(parse_mask("al", masks, &mask), 0);
    EXPECT_EQ(parse_mask("-beta", masks, &mask), 0);
    EXPECT_EQ(parse_mask("gamma", masks, &mask), -1);
    EXPECT_EQ(mask, 1u);
}

}  // namespace
